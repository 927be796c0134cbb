// The application frame: one process-wide application object whose InitInstance does the run's
// work and whose ExitInstance result is the exit code, and the command-line record that the
// framework's command-line walk fills. The entry point (app_main_<backend>.cpp) splits the command
// line by the C runtime's rules and calls RunApplication.
#pragma once

#include <string>
#include <vector>

namespace platform {

class CCommandLineInfo {
  public:
    virtual ~CCommandLineInfo() = default;
    // Called once per argument after the program name. flag: the argument began with '-' or '/',
    // param is then the rest. The base keeps the first non-flag argument in m_strFileName.
    virtual void ParseParam(const wchar_t* param, bool flag, bool last);
    std::wstring m_strFileName;
};

// The framework's command-line walk: every argument (without the program name) goes through
// info.ParseParam, with flag set and the first character dropped for options.
void WalkCommandLine(const std::vector<std::wstring>& arguments, CCommandLineInfo& info);

class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Answers false to end the process after ExitInstance.
    virtual bool InitInstance();
    virtual int ExitInstance();

    // Walks the arguments (without the program name) through info.ParseParam.
    void ParseCommandLine(CCommandLineInfo& info) const;
    const std::vector<std::wstring>& Arguments() const { return m_arguments; }
    void SetArguments(std::vector<std::wstring> arguments) { m_arguments = std::move(arguments); }

  private:
    std::vector<std::wstring> m_arguments;
};

CWinApp* AfxGetApp();

// Runs the application object: InitInstance, then (when it answers false) ExitInstance, whose
// result is returned. Called by the entry point with the arguments after the program name.
int RunApplication(std::vector<std::wstring> arguments);

}  // namespace platform
