// Target-independent text helpers: ASCII case folding, file-name comparison and wtoi.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdint>
#include <cwctype>

#include "platform/text.h"

namespace platform {

namespace {
wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}
}  // namespace

bool EqualsNoCaseAscii(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCaseAscii(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

// Upper case of a character for file-name comparison. The C library's towupper depends on the
// locale (in the "C" locale it folds ASCII only), so the alphabets a file name is likely to use
// are folded here directly: Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin
// letters; towupper covers the rest where the locale knows it.
wchar_t FileNameUpper(wchar_t c) {
    auto u = static_cast<uint32_t>(c);
    if (u < 0x80) {
        return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    }
    if ((u >= 0xE0 && u <= 0xFE && u != 0xF7) || (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) ||
        (u >= 0x430 && u <= 0x44F) || (u >= 0xFF41 && u <= 0xFF5A)) {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u == 0xFF) {
        return static_cast<wchar_t>(0x178);
    }
    if (u >= 0x450 && u <= 0x45F) {
        return static_cast<wchar_t>(u - 0x50);
    }
    if (u >= 0x100 && u <= 0x17F) {
        if (u == 0x130 || u == 0x131 || u == 0x138 || u == 0x149 || u == 0x17F) {
            return c;
        }
        // Pairs of upper and lower case; in two runs the upper case letter is the odd one.
        bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        bool lower = oddUpper ? (u % 2 == 0) : (u % 2 == 1);
        return lower ? static_cast<wchar_t>(u - 1) : c;
    }
    return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

bool EqualsFileName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FileNameUpper(a[i]) != FileNameUpper(b[i])) {
            return false;
        }
    }
    return true;
}

long long LeadingInteger(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min(kCap, value * 10 + (text[i] - L'0'));
    }
    return negative ? -value : value;
}

int WToI(std::wstring_view text) {
    long long value = LeadingInteger(text);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::wstring ToWString(long long value) {
    return std::to_wstring(value);
}

}  // namespace platform
