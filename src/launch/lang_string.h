// Localised texts: LoadLangString(id) loads id + 0, 300 or 700 by g_lang; an absent entry gives
// the empty text, never another language. LoadPlainString(id) loads the id as it is.
#pragma once

#include <string>

std::wstring LoadLangString(int id);
std::wstring LoadPlainString(int id);
