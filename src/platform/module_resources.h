// What the running executable carries in its resource section: the resource compiler's output
// on Windows (res/update.rc), nothing on the targets without resources, where the program's
// bitmaps and texts are compiled in (program_resources.h, launch/string_table.h). For tests that
// check the two agree, and for tools. Any thread; reads only.
#pragma once

#include <optional>
#include <string>

namespace platform {

// True where the executable has a resource section to look into.
bool HasModuleResources();
// The raw bytes of resource (type, id) of the executable, any language; none when absent.
std::optional<std::string> ModuleResource(int type, int id);
// The string-table entry id as LoadStringW finds it; none when absent or empty.
std::optional<std::wstring> ModuleString(int id);

}  // namespace platform
