#pragma once

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "base/paths.h"
#include "settings/data_root.h"

namespace zovrel::test {

// A fresh empty folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = TextFromPath(std::filesystem::temp_directory_path() /
                             ("zovrel-test-" + std::to_string(counter++) + "-" +
                              std::to_string(std::random_device()())));
        std::filesystem::create_directories(PathFromText(path_));
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(PathFromText(path_), ec);
    }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return JoinPath(path_, name); }

  private:
    std::wstring path_;
};

// A temporary folder that is the process's data root while it lives.
struct TempDataRoot : TempFolder {
    TempDataRoot() { SetDataRootForProcess(path()); }
    ~TempDataRoot() { SetDataRootForProcess(L""); }
};

// Sets (or, with nullopt, removes) an environment variable and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }

  private:
    void Set(const std::optional<std::string>& value) {
#ifdef _WIN32
        _putenv_s(name_.c_str(), value ? value->c_str() : "");
#else
        value ? setenv(name_.c_str(), value->c_str(), 1) : unsetenv(name_.c_str());
#endif
        tzset();
    }
    std::string name_;
    std::optional<std::string> old_;
};

inline std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(PathFromText(path), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace zovrel::test
