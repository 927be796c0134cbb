// INI reading on Linux, following the system profile reader of the Windows build: the file is
// decoded by its byte-order mark (UTF-8, UTF-16 LE or BE) or else in the ANSI code page; lines end
// at CR or LF; "[name]" opens a section (the name runs to the last ']' of the line); "key=value"
// lines belong to the section above them, with blanks trimmed around key and value. Only the
// first section of the name is searched, and its first key of the name answers. Files above
// kMaxIniBytes are not read: the profile functions are meant for small settings files.
#include "platform/ini.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr uint64_t kMaxIniBytes = 16u << 20;

bool ReadWholeFile(const std::wstring& path, std::string& out) {
    File file;
    if (!file.TryOpen(path, File::Mode::kRead)) {
        return false;
    }
    try {
        const uint64_t length = file.Length();
        if (length > kMaxIniBytes) {
            file.Abort();
            return false;
        }
        out.resize(static_cast<size_t>(length));
        size_t got = 0;
        while (got < out.size()) {
            const size_t n = file.Read(out.data() + got, out.size() - got);
            if (n == 0) {
                break;
            }
            got += n;
        }
        out.resize(got);
        file.Close();
    } catch (const FileException&) {
        file.Abort();
        return false;
    }
    return true;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    std::wstring text;
    text.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            text.push_back(
                static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            text.push_back(L'\uFFFD');
        } else {
            text.push_back(static_cast<wchar_t>(u));
        }
    }
    return text;
}

std::wstring DecodeIni(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return Utf8ToWide(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return DecodeUtf16(bytes.substr(2), false);
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return DecodeUtf16(bytes.substr(2), true);
    }
    return AnsiToWide(bytes);
}

bool IsBlank(wchar_t c) {
    return c <= L' ';
}

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return EqualsFileName(a, b);
}

// The value of the key in the first section of that name; nullopt when it is not there.
std::optional<std::wstring> FindValue(std::wstring_view text, std::wstring_view section,
                                      std::wstring_view key) {
    bool inSection = false;
    bool seenSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        const std::wstring_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) {
            continue;
        }
        if (line.front() == L'[') {
            const size_t close = line.rfind(L']');
            if (close != std::wstring_view::npos) {
                if (seenSection) {
                    return std::nullopt;
                }
                inSection = SameName(line.substr(1, close - 1), section);
                seenSection = inSection;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        const size_t eq = line.find(L'=');
        const std::wstring_view name = Trim(line.substr(0, eq));
        if (!SameName(name, key)) {
            continue;
        }
        if (eq == std::wstring_view::npos) {
            return std::wstring();
        }
        return std::wstring(Trim(line.substr(eq + 1)));
    }
    return std::nullopt;
}

// The integer conversion of the profile reader: blanks, a sign, a base prefix, then the digits
// of that base up to the first other character; the sum wraps at 32 bits.
int ConvertProfileInt(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    bool minus = false;
    if (!s.empty() && (s.front() == L'+' || s.front() == L'-')) {
        minus = s.front() == L'-';
        s.remove_prefix(1);
    }
    uint32_t base = 10;
    if (s.size() >= 2 && s[0] == L'0') {
        if (s[1] == L'x') {
            base = 16;
        } else if (s[1] == L'o') {
            base = 8;
        } else if (s[1] == L'b') {
            base = 2;
        }
        if (base != 10) {
            s.remove_prefix(2);
        }
    }
    uint32_t total = 0;
    for (const wchar_t c : s) {
        uint32_t digit;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<uint32_t>(c - L'0');
        } else if (c >= L'A' && c <= L'Z') {
            digit = static_cast<uint32_t>(c - L'A' + 10);
        } else if (c >= L'a' && c <= L'z') {
            digit = static_cast<uint32_t>(c - L'a' + 10);
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        total = total * base + digit;
    }
    return static_cast<int>(minus ? 0u - total : total);
}

}  // namespace

int ReadProfileInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                   int defaultValue) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        return defaultValue;
    }
    std::optional<std::wstring> value = FindValue(DecodeIni(bytes), section, key);
    if (!value || value->empty()) {
        return defaultValue;
    }
    std::wstring_view v = *value;
    // A value in matching quotes is read without them; nothing left between them is no value.
    if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
        if (v.empty()) {
            return defaultValue;
        }
    }
    return ConvertProfileInt(v);
}

}  // namespace platform
