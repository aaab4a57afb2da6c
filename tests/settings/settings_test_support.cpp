#include "settings/settings_test_support.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "base/paths.h"
#include "settings/data_root.h"

namespace zovrel::test {
namespace fs = std::filesystem;

namespace {

void SetEnvValue(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
    tzset();
}

}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    static std::random_device random;
    const std::wstring name =
        L"zovrel-test-" + std::to_wstring(counter++) + L"-" + std::to_wstring(random());
    path_ = TextFromPath(fs::temp_directory_path() / PathFromText(name));
    fs::create_directories(PathFromText(path_));
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(PathFromText(path_), ec);
}

std::wstring TempFolder::operator/(const std::wstring& name) const {
    return JoinPath(path_, name);
}

TempDataRoot::TempDataRoot() {
    SetDataRootForProcess(folder_.path());
}
TempDataRoot::~TempDataRoot() {
    SetDataRootForProcess(L"");
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name))
        old_ = old;
    SetEnvValue(name_, value);
}

ScopedEnv::~ScopedEnv() {
    SetEnvValue(name_, old_);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(PathFromText(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

void MakeFolder(const std::wstring& path) {
    fs::create_directories(PathFromText(path));
}

bool Exists(const std::wstring& path) {
    std::error_code ec;
    return fs::exists(PathFromText(path), ec);
}

int CountFilesIn(const std::wstring& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(PathFromText(folder), ec)) {
        (void)item;
        ++n;
    }
    return n;
}

}  // namespace zovrel::test
