// Debug output and message boxes. In unattended runs, and always on Linux, a message box never
// waits: its text goes to standard error and to the debug output.
#pragma once

#include <string>
#include <string_view>

namespace platform {

void DebugOutput(std::wstring_view text);

// A modal message box with an OK button only, captioned with the application's title.
void ShowMessage(std::wstring_view text);

void SetUnattended(bool unattended);
bool IsUnattended();

// The caption of message boxes (the framework takes it from the executable's name).
void SetAppTitle(std::wstring title);
const std::wstring& AppTitle();

}  // namespace platform
