#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

// A failed property is a crash libFuzzer records, in every build type.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Empties a scratch folder between inputs.
inline void EmptyFolder(const std::filesystem::path& path) {
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(path, ec))
        std::filesystem::remove_all(item.path(), ec);
}
