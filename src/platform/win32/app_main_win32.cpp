// Entry point of Update.exe on Windows: the C runtime has split the command line already
// (__wargv); the arguments after the program name go to the application object.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/debug.h"
#include "platform/fs.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::vector<std::wstring> args;
    for (int i = 1; i < __argc; ++i) {
        args.emplace_back(__wargv[i]);
    }
    std::wstring module = platform::ModulePath();
    std::wstring name = module.substr(module.find_last_of(L"\\/") + 1);
    size_t dot = name.find_last_of(L'.');
    platform::SetAppTitle(dot == std::wstring::npos ? name : name.substr(0, dot));
    return platform::RunApplication(std::move(args));
}
