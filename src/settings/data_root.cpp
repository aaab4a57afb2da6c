#include "settings/data_root.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "base/paths.h"

namespace zovrel {

// The per-user base folder of this platform (roaming application data, XDG data home), or
// empty when the platform cannot say.
std::wstring PerUserDataBase();

namespace {

std::mutex& OverrideMutex() {
    static std::mutex mutex;
    return mutex;
}

std::wstring& OverrideFolder() {
    static std::wstring folder;
    return folder;
}

}  // namespace

std::wstring JoinPath(const std::wstring& folder, std::wstring_view name) {
    std::wstring path = folder;
    path += PATH_SEPARATOR;
    path += name;
    return path;
}

std::wstring GetExecutableFolder() {
    const std::wstring path = GetExecutablePath();
    const size_t cut = path.rfind(PATH_SEPARATOR);
    return cut == std::wstring::npos ? path : path.substr(0, cut);
}

std::wstring ResolveDataRoot(const std::wstring& executableFolder) {
    if (!executableFolder.empty() && PathExists(JoinPath(executableFolder, L"portable")))
        return executableFolder;
    const std::wstring base = PerUserDataBase();
    if (base.empty())
        return executableFolder;
    const std::wstring root = JoinPath(base, L"zovrel");
    // A failure shows up later, when something below the root cannot be opened.
    EnsureFolderExists(root);
    return root;
}

std::wstring GetDataRoot() {
    {
        std::lock_guard<std::mutex> lock(OverrideMutex());
        if (!OverrideFolder().empty())
            return OverrideFolder();
    }
    return ResolveDataRoot(GetExecutableFolder());
}

void SetDataRootForProcess(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    OverrideFolder() = folder;
}

bool PathExists(const std::wstring& path) {
    if (path.empty())
        return false;
    std::error_code ec;
    return std::filesystem::exists(PathFromText(path), ec);
}

bool EnsureFolderExists(const std::wstring& path) {
    if (path.empty())
        return false;
    const std::filesystem::path folder = PathFromText(path);
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return true;
    std::filesystem::create_directories(folder, ec);
    // Checked again: another thread may have created it meanwhile, and a file of that name
    // must not pass for a folder.
    return std::filesystem::is_directory(folder, ec);
}

std::wstring GetSettingsFilePath() {
    // No root known: no path, rather than a file at the top of the drive.
    const std::wstring root = GetDataRoot();
    return root.empty() ? std::wstring() : JoinPath(root, L"zovrel.ini");
}

std::wstring QuoteIfContainsSpace(const std::wstring& path) {
    if (path.find(L' ') == std::wstring::npos)
        return path;
    return L"\"" + path + L"\"";
}

}  // namespace zovrel
