#include "launch/runtime_calls.h"

#include <vector>

#include "platform/text.h"
#include "runtime/tqbase.h"

bool CallRuntime(const char* name, std::initializer_list<std::wstring> args) {
    std::vector<std::string> narrow;
    narrow.reserve(args.size());
    for (const std::wstring& arg : args) {
        narrow.push_back(platform::WideToAnsi(arg));
    }
    std::vector<const char*> pointers;
    for (const std::string& text : narrow) {
        pointers.push_back(text.c_str());
    }
    tqValue result;
    bool found = tqCallByName(&result, name, pointers.data(), static_cast<int>(pointers.size()));
    tqValueDestroy(&result);
    return found;
}
