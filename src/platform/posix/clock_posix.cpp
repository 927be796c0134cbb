// Local time of day from time() and the C library's time zone (TZ, /etc/localtime).
#include "platform/clock.h"

#include <ctime>

namespace platform {

TimeOfDay LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    TimeOfDay result;
    if (localtime_r(&now, &local) == nullptr) {
        return result;
    }
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    result.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return result;
}

}  // namespace platform
