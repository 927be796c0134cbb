// Text conversions on Windows: the system ANSI code page is CP_ACP.
#include <windows.h>

#include <climits>

#include "platform/text.h"

namespace platform {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        ::MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), needed);
    }
    return out;
}

std::string ToNarrow(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int needed =
        ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr,
                              nullptr);
    }
    return out;
}

}  // namespace

std::wstring AnsiToWide(std::string_view text) {
    return ToWide(CP_ACP, text);
}
std::string WideToAnsi(std::wstring_view text) {
    return ToNarrow(CP_ACP, text);
}
std::string WideToUtf8(std::wstring_view text) {
    return ToNarrow(CP_UTF8, text);
}
std::wstring Utf8ToWide(std::string_view text) {
    return ToWide(CP_UTF8, text);
}

}  // namespace platform
