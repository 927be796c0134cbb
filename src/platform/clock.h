// The local time of day, for time stamps (the update log). Any thread; reads the system clock
// and the local time zone, no other I/O.
#pragma once

namespace platform {

struct TimeOfDay {
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    int second = 0;  // 0 to 59 (a leap second is reported as 59)
};

TimeOfDay LocalTimeOfDay();

}  // namespace platform
