#pragma once

#include <string>
#include <string_view>

namespace zovrel {

// Paths are joined by plain concatenation: parent (no trailing separator) + separator + name.
#ifdef _WIN32
inline constexpr wchar_t PATH_SEPARATOR = L'\\';
#else
inline constexpr wchar_t PATH_SEPARATOR = L'/';
#endif
std::wstring JoinPath(const std::wstring& folder, std::wstring_view name);

// Full path of the running executable, and its folder (the path cut at its last separator).
std::wstring GetExecutablePath();
std::wstring GetExecutableFolder();

// The folder that holds every file of the program. Portable mode (a file or folder "portable"
// beside the executable) keeps everything in the executable's folder; otherwise the per-user
// application-data folder + "zovrel", created when missing; the executable's folder when the
// per-user folder is unknown.
std::wstring GetDataRoot();
// The same decision for a given executable folder, ignoring SetDataRootForProcess.
std::wstring ResolveDataRoot(const std::wstring& executableFolder);

// Points the whole process at another data root (tests, the command-line tool). An empty path
// returns to the normal rule. Safe to call from any thread.
void SetDataRootForProcess(const std::wstring& folder);

// True when the folder exists afterwards (created with all missing parents if needed). An empty
// path, or a file standing where the folder should be, gives false.
bool EnsureFolderExists(const std::wstring& path);
// True when anything (file or folder) exists at the path.
bool PathExists(const std::wstring& path);

// GetDataRoot() + "zovrel.ini"; empty when no data root is known.
std::wstring GetSettingsFilePath();

// The path wrapped in double quotes when it contains a blank (only character 32 counts).
std::wstring QuoteIfContainsSpace(const std::wstring& path);

}  // namespace zovrel
