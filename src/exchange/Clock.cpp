#include "exchange/Clock.h"

#include <ctime>

namespace exchange {

LocalDateTime Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec};
}

engine::DateTime DateTimeOf(const LocalDateTime& t) {
    return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

engine::DateTime NowAsDateTime() {
    return DateTimeOf(Now());
}

}  // namespace exchange
