#include <time.h>

#include "base/local_time.h"

namespace zovrel {

uint64_t FileTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return 116444736000000000ull + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

}  // namespace zovrel
