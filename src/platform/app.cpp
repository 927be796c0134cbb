// The application frame shared by every target.
#include "platform/app.h"

namespace platform {

namespace {
CWinApp* g_theApp = nullptr;

// An argument that begins with '-' or '/' is an option. On Linux an absolute path begins with '/'
// too: there an argument is an option only when the option's name (the text before any ':') holds
// no further '/', so that "/lang:1" is an option and "/tmp/tq_update_zt_0029" a file name.
bool IsOption(const std::wstring& arg) {
    if (arg.empty() || (arg[0] != L'-' && arg[0] != L'/')) {
        return false;
    }
#if !defined(_WIN32)
    if (arg[0] == L'/') {
        std::wstring name = arg.substr(
            1, arg.find(L':') == std::wstring::npos ? std::wstring::npos : arg.find(L':') - 1);
        return name.find(L'/') == std::wstring::npos;
    }
#endif
    return true;
}
}  // namespace

void CCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool) {
    if (!flag && m_strFileName.empty() && param != nullptr) {
        m_strFileName = param;
    }
}

CWinApp::CWinApp() {
    g_theApp = this;
}
CWinApp::~CWinApp() {
    if (g_theApp == this) {
        g_theApp = nullptr;
    }
}
bool CWinApp::InitInstance() {
    return false;
}
int CWinApp::ExitInstance() {
    return 0;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) const {
    WalkCommandLine(m_arguments, info);
}

void WalkCommandLine(const std::vector<std::wstring>& arguments, CCommandLineInfo& info) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& arg = arguments[i];
        bool last = i + 1 == arguments.size();
        bool flag = IsOption(arg);
        info.ParseParam(flag ? arg.c_str() + 1 : arg.c_str(), flag, last);
    }
}

CWinApp* AfxGetApp() {
    return g_theApp;
}

int RunApplication(std::vector<std::wstring> arguments) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    app->SetArguments(std::move(arguments));
    int code = 0;
    try {
        // The system never runs a message loop of the frame's own: whatever InitInstance
        // answers, the run ends with ExitInstance.
        app->InitInstance();
        code = app->ExitInstance();
    } catch (...) {
        code = 1;
    }
    return code;
}

}  // namespace platform
