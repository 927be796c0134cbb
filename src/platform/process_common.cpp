// The Microsoft C runtime's command-line rules, shared by every target: the relaunch command lines
// are written with QuoteArgument and read back with SplitCommandLine (by the C runtime itself on
// Windows).
#include "platform/process.h"

namespace platform {

std::vector<std::wstring> SplitCommandLine(std::wstring_view params) {
    std::vector<std::wstring> args;
    size_t i = 0;
    const size_t n = params.size();
    for (;;) {
        while (i < n && (params[i] == L' ' || params[i] == L'\t')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::wstring arg;
        bool quoted = false;
        while (i < n) {
            wchar_t c = params[i];
            if (!quoted && (c == L' ' || c == L'\t')) {
                break;
            }
            if (c == L'\\') {
                size_t slashes = 0;
                while (i < n && params[i] == L'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && params[i] == L'"') {
                    arg.append(slashes / 2, L'\\');
                    if (slashes % 2 == 1) {
                        arg.push_back(L'"');
                        ++i;
                    }
                } else {
                    arg.append(slashes, L'\\');
                }
                continue;
            }
            if (c == L'"') {
                if (quoted && i + 1 < n && params[i + 1] == L'"') {
                    arg.push_back(L'"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg.push_back(c);
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::wstring QuoteArgument(std::wstring_view arg, QuoteEmpty quoteEmpty) {
    bool needs = arg.find_first_of(L" \t\"") != std::wstring_view::npos ||
                 (arg.empty() && quoteEmpty == QuoteEmpty::kYes);
    if (!needs) {
        return std::wstring(arg);
    }
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') {
            out.append(slashes * 2 + 1, L'\\');
        } else {
            out.append(slashes, L'\\');
        }
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

}  // namespace platform
