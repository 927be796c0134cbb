// Resources of the running executable, read with FindResourceW / LoadResource / LoadStringW.
#include <windows.h>

#include "platform/module_resources.h"

namespace platform {

bool HasModuleResources() {
    return true;
}

std::optional<std::string> ModuleResource(int type, int id) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (!found) {
        return std::nullopt;
    }
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found));
}

std::optional<std::wstring> ModuleString(int id) {
    // With a buffer size of 0 LoadStringW hands out a pointer to the text in the resource.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                     reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) {
        return std::nullopt;
    }
    return std::wstring(text, static_cast<size_t>(length));
}

}  // namespace platform
