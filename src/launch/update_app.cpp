// Start-up of every run and the three runs themselves: the first run stages the updater in a
// fresh folder under the temporary folder and starts that copy; the staged copy (the update run)
// runs the dialog and then starts the clean run in the installation folder, which removes the
// staging folder. Everything happens inside InitInstance on the user-interface thread.
#include "launch/update_app.h"

#include "launch/command_line.h"
#include "launch/lang_string.h"
#include "launch/runtime_calls.h"
#include "launch/settings.h"
#include "launch/staging.h"
#include "launch/update_run.h"
#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/startup.h"
#include "platform/text.h"

CUpdateApp theApp;

namespace {

constexpr wchar_t kDefaultRestartExe[] = L"Vorlix.exe";
constexpr wchar_t kParameterError[] = L"更新参数错误,请检查软件版本及更新地址！";

// How long the clean run keeps trying while the update run that started it still holds files of
// the staging folder open (it starts the clean run just before it ends).
constexpr int kCleanAttempts = 75;
constexpr int kCleanPauseMs = 200;

void CleanRun(const CMyCommandLineInfo& info) {
    std::wstring folder = StripQuotes(info.m_strFileName);
    if (!folder.empty() && platform::IsPathSep(folder.back())) {
        folder.pop_back();
    }
    platform::DebugOutput(folder + L" is to clean");
    if (!IsStagingFolder(folder, platform::TempFolder())) {
        platform::DebugOutput(L"not a staging folder, nothing removed: " + folder);
        return;
    }
    for (int attempt = 0; attempt < kCleanAttempts; ++attempt) {
        CallRuntime("del_path", {folder});
        if (!platform::Exists(folder)) {
            return;
        }
        platform::SleepMs(kCleanPauseMs);
    }
}

void FirstRun(const CMyCommandLineInfo& info) {
    CallRuntime("create_dir", {g_staging_folder});
    CallRuntime("create_dir", {g_staging_folder + L"config" + platform::kPathSep});
    for (const std::wstring& name : StagingCopyList()) {
        if (!platform::CopyFileOver(g_module_folder + name, g_staging_folder + name)) {
            uint32_t error = platform::LastError();
            platform::ShowMessage(L"(" + std::to_wstring(error) + L")Failed to copy " + name);
            CallRuntime("del_path", {g_staging_folder});
            return;
        }
    }
    StagingRelaunch relaunch;
    relaunch.fileName = info.m_strFileName;
    relaunch.lang = g_lang;
    relaunch.cmy = info.cmy;
    relaunch.version = info.version;
    relaunch.url = info.url;
    relaunch.comment = info.comment;
    relaunch.restartExe = g_restart_exe;
    relaunch.moduleFolder = g_module_folder;
    relaunch.silent = info.silent;
    CallRuntime("exec", {g_staging_folder + L"update.exe", StagingRelaunchParams(relaunch), L""});
}

}  // namespace

CUpdateApp::CUpdateApp() = default;

CUpdateApp::~CUpdateApp() {
    m_cmyUpdateUrls.clear();
    m_updateUrls.clear();
    m_configText = tqString();
}

bool CUpdateApp::InitInstance() {
    if (HasSilentOption(*this)) {
        platform::SetUnattended(true);
    }
    platform::EnableControlContainer();
    platform::StartSocketLibrary();
    if (!platform::LoadModule(L"tqslib.tql")) {
        platform::ShowMessage(LoadPlainString(104));
        return false;
    }

    CMyCommandLineInfo info;
    ParseCommandLine(info);
    if (Arguments().empty()) {
        return false;
    }
    g_lang = info.lang;
    if (info.clean) {
        CleanRun(info);
        return false;
    }

    g_staging_folder = ChooseStagingFolder(platform::TempFolder());
    if (g_staging_folder.empty()) {
        platform::ShowMessage(L"No free staging folder name is left in " + platform::TempFolder());
        return false;
    }
    g_module_folder = platform::FolderOf(platform::LongPath(platform::ModulePath()));
    g_restart_exe = info.restart_exe.empty() ? kDefaultRestartExe : info.restart_exe;

    if (info.first) {
        FirstRun(info);
        return false;
    }

    // The update run.
    g_cmy = info.cmy;
    g_des = info.des;
    g_url = info.url;
    g_comment = info.comment;
    g_version = info.version;
    if (g_url.empty() || g_version.empty()) {
        platform::ShowMessage(kParameterError);
        return false;
    }
    PrepareNotesPage();
    m_updateUrls.emplace_back(platform::WideToAnsi(g_url).c_str());
    g_des = StripQuotes(g_des);
    // Where the separator is '/', the relaunch's closing quote is not escaped by it, so the
    // folder arrives with its separator instead of a quote: the setting never keeps one.
    if (g_des.size() > 1 && g_des.back() == L'/') {
        g_des.pop_back();
    }

    RunUpdateDialog(info.m_strFileName, [] {
        CallRuntime("exec", {g_des + platform::kPathSep + L"update.exe",
                             CleanRelaunchParams(g_module_folder), L""});
    });
    return false;
}

int CUpdateApp::ExitInstance() {
    platform::StopSocketLibrary();
    return CWinApp::ExitInstance();
}
