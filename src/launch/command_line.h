// The launch parameters of a run and how each argument is parsed into them.
#pragma once

#include <string>

#include "platform/app.h"

class CMyCommandLineInfo : public platform::CCommandLineInfo {
  public:
    ~CMyCommandLineInfo() override;
    void ParseParam(const wchar_t* param, bool flag, bool last) override;

    std::wstring des;
    std::wstring cmy;
    std::wstring url;
    std::wstring comment;
    std::wstring version;
    std::wstring restart_exe;
    int lang = 0;
    bool first = false;
    bool clean = false;
    // Unattended run for deployments ("-silent"): no click is ever waited for.
    bool silent = false;
};

// True when one of the arguments is the option "silent" (looked at before the script library is
// loaded, so that even that failure does not wait for a click).
bool HasSilentOption(const platform::CWinApp& app);
