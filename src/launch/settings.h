// Process-wide settings of a run. Each is written once on the user-interface thread (start-up,
// the update run, or the update procedure for g_src_folder) and read afterwards.
#pragma once

#include <string>

class CDlgUpdate;

extern int g_lang;                    // 0 simplified Chinese, 1 traditional Chinese, 2 English
extern std::wstring g_module_folder;  // folder of the running executable, trailing separator
extern std::wstring g_staging_folder; // chosen staging folder, trailing separator
extern std::wstring g_restart_exe;    // client executable file name, default "Vorlix.exe"
extern std::wstring g_cmy;            // company code
extern std::wstring g_des;            // installation folder, no trailing separator
extern std::wstring g_url;
extern std::wstring g_version;
extern std::wstring g_comment;
extern std::wstring g_src_folder;     // extraction folder of the current update (worker thread)
// The live update dialog, or null. Set when the dialog is initialised, withdrawn when its window
// is destroyed.
extern CDlgUpdate* g_update_dialog;
