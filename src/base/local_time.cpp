#include <chrono>
#include <ctime>

#include "base/local_time.h"

namespace zovrel {
namespace {

constexpr uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ull;  // 1970-01-01 as FILETIME

LocalTime FromTm(const std::tm& t) {
    return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

LocalTime LocalOf(std::time_t seconds) {
    std::tm t{};
#ifdef _WIN32
    localtime_s(&t, &seconds);
#else
    localtime_r(&seconds, &t);
#endif
    return FromTm(t);
}

}  // namespace

LocalTime LocalNow() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(sinceEpoch).count();
    const auto seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    LocalTime now = LocalOf(seconds);
    now.millisecond = static_cast<int>(ms - static_cast<int64_t>(seconds) * 1000);
    return now;
}

LocalTime LocalTimeOfFileTime(uint64_t fileTime) {
    if (fileTime < FILETIME_UNIX_EPOCH)
        return LocalOf(0);
    return LocalOf(static_cast<std::time_t>((fileTime - FILETIME_UNIX_EPOCH) / 10000000ull));
}

int64_t DaysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = (month + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace zovrel
