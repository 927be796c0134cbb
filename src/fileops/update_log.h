// The update log: "Update2.log" in a folder, one "%02d:%02d:%02d: %s\r\n" line per call in the
// system ANSI code page. Opened per call without sharing; an open failure shows a message box.
#pragma once

#include <string>

void WriteUpdateLog(const std::wstring& logFolder, const std::wstring& text);
