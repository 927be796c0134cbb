// The update log: "Update2.log" in a folder, one "%02d:%02d:%02d: %s\r\n" line per call in the
// system ANSI code page. Opened per call without sharing; an open failure shows a message box.
#pragma once

#include <string>

#include "platform/clock.h"

void WriteUpdateLog(const std::wstring& logFolder, const std::wstring& text);

// The clock the time stamps are read from; null restores the system's local time. For tests.
using UpdateLogClock = platform::TimeOfDay (*)();
void SetUpdateLogClock(UpdateLogClock clock);
