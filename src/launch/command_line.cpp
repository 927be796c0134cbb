// Parsing of the launch parameters. Options are matched in a fixed order; the first test that
// succeeds decides. Only ASCII letters are folded; values are kept verbatim.
#include "launch/command_line.h"

#include "platform/text.h"

using platform::EqualsNoCaseAscii;
using platform::StartsWithNoCaseAscii;

CMyCommandLineInfo::~CMyCommandLineInfo() = default;

void CMyCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool last) {
    if (!flag) {
        CCommandLineInfo::ParseParam(param, flag, last);
        return;
    }
    std::wstring_view p = param != nullptr ? std::wstring_view(param) : std::wstring_view();
    if (EqualsNoCaseAscii(p, L"first")) {
        first = true;
    } else if (EqualsNoCaseAscii(p, L"clean")) {
        clean = true;
    } else if (StartsWithNoCaseAscii(p, L"des:")) {
        des = p.substr(4);
    } else if (StartsWithNoCaseAscii(p, L"restart_exe:")) {
        restart_exe = p.substr(12);
    } else if (StartsWithNoCaseAscii(p, L"cmy:")) {
        cmy = p.substr(4);
    } else if (StartsWithNoCaseAscii(p, L"lang:")) {
        int value = platform::WToI(p.substr(5));
        if (static_cast<unsigned>(value) <= 2) {
            lang = value;
        }
    } else if (StartsWithNoCaseAscii(p, L"version:")) {
        version = p.substr(8);
    } else if (StartsWithNoCaseAscii(p, L"url:")) {
        url = p.substr(4);
    } else if (StartsWithNoCaseAscii(p, L"comment:")) {
        comment = p.substr(8);
    } else if (EqualsNoCaseAscii(p, L"silent")) {
        silent = true;
    }
}

bool HasSilentOption(const platform::CWinApp& app) {
    for (const std::wstring& arg : app.Arguments()) {
        if (arg.size() == 7 && (arg[0] == L'-' || arg[0] == L'/') &&
            EqualsNoCaseAscii(std::wstring_view(arg).substr(1), L"silent")) {
            return true;
        }
    }
    return false;
}
