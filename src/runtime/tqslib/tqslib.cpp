// tqslib.tql: the script library module. Loaded by file name at start-up; its static objects
// register the library functions create_dir, del_path and exec with tqBase, where the updater
// calls them by name with narrow text arguments in the system ANSI code page.
#include <string>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runtime/tqbase.h"

namespace {

std::wstring TextArg(tqValue* args, int count, int index) {
    if (index >= count || args == nullptr) {
        return {};
    }
    const tqValue* value = &args[index];
    if ((value->type & kTqRefFlag) != 0 && value->type != kTqNone && value->payload.ref) {
        value = value->payload.ref;
    }
    if (value->type != kTqText || value->payload.text == nullptr) {
        return {};
    }
    return platform::AnsiToWide(value->payload.text);
}

void SetInteger(tqValue* result, int value) {
    tqValueDestroy(result);
    result->type = kTqInteger;
    result->payload.integer = value;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 1 && platform::IsPathSep(path.back())) {
        path.pop_back();
    }
    return path;
}

// Creates every missing level of a folder path.
bool CreateDirectoryTree(const std::wstring& path) {
    std::wstring folder = WithoutTrailingSeparators(path);
    if (folder.empty()) {
        return false;
    }
    if (platform::IsFolder(folder)) {
        return true;
    }
    size_t cut = folder.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0) {
        std::wstring parent = folder.substr(0, cut);
        if (!(parent.size() == 2 && parent[1] == L':')) {
            CreateDirectoryTree(parent);
        }
    }
    return platform::CreateFolder(folder) || platform::IsFolder(folder);
}

// Removes a folder and its contents. A symbolic link (or junction) is removed itself; what it
// points to is never entered.
void RemoveTree(const std::wstring& path) {
    uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) {
        return;
    }
    if ((attributes & platform::kAttrReparsePoint) != 0 ||
        (attributes & platform::kAttrDirectory) == 0) {
        platform::SetAttributes(path, platform::kAttrNormal);
        if (!platform::RemoveFile(path)) {
            platform::RemoveFolder(path);
        }
        return;
    }
    for (const platform::DirEntry& entry : platform::ListFolder(path)) {
        RemoveTree(path + platform::kPathSep + entry.name);
    }
    platform::SetAttributes(path, platform::kAttrNormal);
    platform::RemoveFolder(path);
}

class create_dir_func : public uiCalcFunc {
  public:
    int GetArgType(int) override { return kTqText; }
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override {
        SetInteger(result, CreateDirectoryTree(TextArg(args, count, 0)) ? 1 : 0);
        return result;
    }
};

class del_path_func : public uiCalcFunc {
  public:
    int GetArgType(int) override { return kTqText; }
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override {
        std::wstring path = WithoutTrailingSeparators(TextArg(args, count, 0));
        // An empty path names nothing: it must never become the current folder or a root.
        if (!path.empty()) {
            RemoveTree(platform::ResolvePath(path));
        }
        SetInteger(result, platform::Exists(path) ? 0 : 1);
        return result;
    }
};

class exec_func : public uiCalcFunc {
  public:
    int GetArgType(int) override { return kTqText; }
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override {
        bool started = platform::StartDetached(TextArg(args, count, 0), TextArg(args, count, 1));
        SetInteger(result, started ? 1 : 0);
        return result;
    }
};

create_dir_func g_createDir;
del_path_func g_delPath;
exec_func g_exec;

struct Registration {
    Registration() {
        tqRegisterFunc("create_dir", &g_createDir);
        tqRegisterFunc("del_path", &g_delPath);
        tqRegisterFunc("exec", &g_exec);
    }
} g_registration;

}  // namespace
