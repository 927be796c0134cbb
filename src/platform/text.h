// Text conversions between the wide text of the system and its narrow forms: the system ANSI code
// page (CP_ACP on Windows, the locale's character set on Linux) and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Narrow text in the system ANSI code page to wide text; undecodable bytes become U+FFFD.
std::wstring AnsiToWide(std::string_view text);
// Wide text to the system ANSI code page; what the code page cannot hold becomes its default
// character ('?').
std::string WideToAnsi(std::wstring_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// Comparisons that fold only the ASCII letters A to Z.
bool EqualsNoCaseAscii(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCaseAscii(std::wstring_view text, std::wstring_view prefix);
// Comparison of file names without regard to case (Unicode simple folding).
bool EqualsFileName(std::wstring_view a, std::wstring_view b);

// The number a text begins with, as the C library reads it: optional blanks, optional sign,
// decimal digits up to the first other character; no digits give 0. A magnitude beyond an int
// saturates at INT_MAX + 1, so callers can tell an out-of-range value from INT_MAX.
long long LeadingInteger(std::wstring_view text);

// The C library's wtoi: optional blanks, optional sign, decimal digits up to the first other
// character; no digits give 0. Out-of-range values clamp to INT_MIN / INT_MAX.
int WToI(std::wstring_view text);

// Decimal text of a number.
std::wstring ToWString(long long value);

}  // namespace platform
