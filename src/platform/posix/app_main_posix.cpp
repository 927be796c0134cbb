// Entry point of Update.exe on Linux: the arguments arrive split already; they are decoded in the
// user's locale (the system ANSI code page of this target).
#include <clocale>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(platform::AnsiToWide(argv[i]));
    }
    std::wstring module = platform::ModulePath();
    std::wstring name = module.substr(module.find_last_of(L'/') + 1);
    size_t dot = name.find_last_of(L'.');
    platform::SetAppTitle(dot == std::wstring::npos ? name : name.substr(0, dot));
    return platform::RunApplication(std::move(args));
}
