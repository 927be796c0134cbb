// Local time of day from GetLocalTime.
#include "platform/clock.h"

#include <windows.h>

namespace platform {

TimeOfDay LocalTimeOfDay() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    TimeOfDay result;
    result.hour = local.wHour;
    result.minute = local.wMinute;
    result.second = local.wSecond;
    return result;
}

}  // namespace platform
