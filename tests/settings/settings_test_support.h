#pragma once

#include <optional>
#include <string>

namespace zovrel::test {

// A fresh empty folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const;

  private:
    std::wstring path_;
};

// Points the process's data root at a temporary folder for the lifetime of the object.
class TempDataRoot {
  public:
    TempDataRoot();
    ~TempDataRoot();
    const std::wstring& path() const { return folder_.path(); }
    std::wstring operator/(const std::wstring& name) const { return folder_ / name; }

  private:
    TempFolder folder_;
};

// Sets (or, with nullopt, removes) an environment variable and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
void MakeFolder(const std::wstring& path);
bool Exists(const std::wstring& path);
int CountFilesIn(const std::wstring& folder);

}  // namespace zovrel::test
