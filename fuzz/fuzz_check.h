#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A failed property is a crash libFuzzer records, in every build type.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A folder of this process, in memory where possible, emptied between inputs and removed at exit.
struct ScratchFolder {
    std::filesystem::path path;
    explicit ScratchFolder(const std::string& name) {
        std::error_code ec;
        path = std::filesystem::is_directory("/dev/shm", ec)
                   ? "/dev/shm"
                   : std::filesystem::temp_directory_path();
        path /= name + "-" + std::to_string(::getpid());
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    void Empty() const {
        std::error_code ec;
        for (const auto& item : std::filesystem::directory_iterator(path, ec))
            std::filesystem::remove_all(item.path(), ec);
    }
};
