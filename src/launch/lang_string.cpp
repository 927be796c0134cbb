#include "launch/lang_string.h"

#include "launch/settings.h"
#include "launch/string_table.h"

std::wstring LoadLangString(int id) {
    std::wstring result;
    int offset = 0;
    switch (g_lang) {
        case 0:
            offset = 0;
            break;
        case 1:
            offset = 300;
            break;
        case 2:
            offset = 700;
            break;
        default:
            return result;
    }
    FindStringResource(id + offset, result);
    return result;
}

std::wstring LoadPlainString(int id) {
    std::wstring result;
    FindStringResource(id, result);
    return result;
}
