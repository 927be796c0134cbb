// Text conversions on Linux. The "system ANSI code page" is the character set of the locale's
// LC_CTYPE (the entry point selects the user's locale). UTF-8 conversions do not depend on it.
#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/text.h"

namespace platform {

std::wstring AnsiToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::mbstate_t state{};
    size_t i = 0;
    while (i < text.size()) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            out.push_back(L'\xFFFD');
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        if (n == 0) {  // an embedded NUL
            out.push_back(L'\0');
            ++i;
            continue;
        }
        out.push_back(wc);
        i += n;
    }
    return out;
}

std::string WideToAnsi(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    for (wchar_t wc : text) {
        size_t n = std::wcrtomb(buffer, wc, &state);
        if (n == static_cast<size_t>(-1)) {
            out.push_back('?');
            state = std::mbstate_t{};
            continue;
        }
        out.append(buffer, n);
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring Utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0;
        size_t extra = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        if (i + extra >= text.size()) {
            out.push_back(L'\xFFFD');
            break;
        }
        bool valid = true;
        for (size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += extra + 1;
    }
    return out;
}

}  // namespace platform
