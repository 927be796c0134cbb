// Calls into the script library by name with wide texts, converted to the system ANSI code page.
// The results are not examined by the callers; the answer says only whether the function exists.
#pragma once

#include <initializer_list>
#include <string>

bool CallRuntime(const char* name, std::initializer_list<std::wstring> args);
