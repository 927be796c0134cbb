// The application object: start-up and the choice between the three runs (first run: stage and
// relaunch; update run: the dialog; clean run: remove the staging folder), the address lists that
// update scripts fill, and the installation and restart steps the worker and the dialog call.
#pragma once

#include <list>
#include <string>

#include "platform/app.h"
#include "runtime/tqbase.h"

class CUpdateApp : public platform::CWinApp {
public:
    CUpdateApp();
    ~CUpdateApp() override;

    bool InitInstance() override;
    int ExitInstance() override;

    // Step 2 installs (answers an error text, empty on success); step 3 restarts the client
    // (answers empty); any other step does nothing and answers empty.
    std::wstring PerformStep(int step);
    std::wstring InstallUpdate();
    void RestartClient();

    // Path of updateInfo.html in g_module_folder; writes the page first when nothing exists there.
    std::wstring PrepareNotesPage();

    tqString m_configText;
    std::list<tqString> m_updateUrls;
    std::list<tqString> m_cmyUpdateUrls;
};

extern CUpdateApp theApp;
