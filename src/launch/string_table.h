// The program's string table: simplified Chinese texts under the base ids, the traditional
// Chinese twin of id n under n + 300, the English twin under n + 700 (none for 122 to 126).
#pragma once

#include <string>

// The text stored under id; false when the table has no entry (or an empty one) there.
bool FindStringResource(int id, std::wstring& text);
