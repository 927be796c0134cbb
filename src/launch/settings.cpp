#include "launch/settings.h"

int g_lang = 0;
std::wstring g_module_folder;
std::wstring g_staging_folder;
std::wstring g_restart_exe;
std::wstring g_cmy;
std::wstring g_des;
std::wstring g_url;
std::wstring g_version;
std::wstring g_comment;
std::wstring g_src_folder;
CDlgUpdate* g_update_dialog = nullptr;
