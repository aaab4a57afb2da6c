#include <windows.h>

#include "base/local_time.h"

namespace zovrel {

uint64_t FileTimeNow() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace zovrel
