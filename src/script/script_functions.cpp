// The native script functions and their registration. The instances and the registration share
// this one file so that they are constructed, and registered, in a defined order.
#include "script/script_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "fileops/copy_folder.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/text.h"

namespace {

// Every argument and the result are named by the empty text; -1 is the result.
const char* ArgName(int index, int argCount) {
    return index >= -1 && index < argCount ? "" : nullptr;
}

int ArgType(int index, const int* types, int argCount, int resultType) {
    if (index == -1) {
        return resultType;
    }
    return index >= 0 && index < argCount ? types[index] : static_cast<int>(kTqNone);
}

bool IsReference(uint32_t type) {
    return (type & kTqRefFlag) != 0 && type != kTqNone;
}

// The value argument index stands for, or null when the caller passed no such argument.
const tqValue* Argument(const tqValue* args, int count, int index) {
    if (args == nullptr || index >= count) {
        return nullptr;
    }
    const tqValue* value = &args[index];
    return IsReference(value->type) ? value->payload.ref : value;
}

// Optional blanks, an optional sign and decimal digits, as the C library's atoi reads them;
// a value beyond 32 bits is clamped.
int32_t DecimalValue(const char* text) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT64_C(0x80000000)) {
            value = INT64_C(0x80000000);
        }
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t IntegerArgument(const tqValue* args, int count, int index) {
    const tqValue* value = Argument(args, count, index);
    if (value == nullptr) {
        return 0;
    }
    if (value->type == kTqNumber) {
        // A number would otherwise be read as the low half of its bit pattern.
        const double number = value->payload.number;
        if (!std::isfinite(number) || number <= -2147483649.0 || number >= 2147483648.0) {
            return 0;
        }
        return static_cast<int32_t>(number);
    }
    if (value->type == kTqText) {
        // The runtime's call by name passes every argument as text.
        return value->payload.text != nullptr ? DecimalValue(value->payload.text) : 0;
    }
    return value->payload.integer;
}

std::string TextArgument(const tqValue* args, int count, int index) {
    const tqValue* value = Argument(args, count, index);
    // Numbers and a second reference carry no characters to point at.
    if (value == nullptr || value->type == kTqNumber || value->type == kTqInteger ||
        IsReference(value->type) || value->payload.text == nullptr) {
        return {};
    }
    return value->payload.text;
}

void SetNumber(tqValue* result, double number) {
    tqValueDestroy(result);
    result->type = kTqNumber;
    result->payload.bits = 0;
    result->payload.number = number;
}

void SetInteger(tqValue* result, int32_t integer) {
    tqValueDestroy(result);
    result->type = kTqInteger;
    result->payload.bits = 0;
    result->payload.integer = integer;
}

void SetText(tqValue* result, const std::wstring& text) {
    tqValueDestroy(result);
    tqValueSetText(result, platform::WideToAnsi(text).c_str());
}

constexpr int kConfigArgs[] = {kTqInteger, kTqText};
constexpr int kCopyArgs[] = {kTqText, kTqText};

}  // namespace

// --- update_config ---------------------------------------------------------------------------

const char* update_config_script_func_cls::GetArgName(int index) {
    return ArgName(index, 2);
}

int update_config_script_func_cls::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 2;
}

int update_config_script_func_cls::GetArgType(int index) {
    return ArgType(index, kConfigArgs, 2, kTqNumber);
}

tqValue* update_config_script_func_cls::Invoke(tqValue* result, tqValue* args, int count) {
    const int32_t kind = IntegerArgument(args, count, 0);
    const std::string text = TextArgument(args, count, 1);
    switch (kind) {
        case 1:
            theApp.m_updateUrls.emplace_back(text.c_str(), text.size());
            break;
        case 2:
            theApp.m_configText.Assign(text.c_str(), text.size());
            break;
        case 3:
            if (!g_cmy.empty()) {
                theApp.m_cmyUpdateUrls.emplace_back(text.c_str(), text.size());
            }
            break;
        default:
            break;
    }
    if (result != nullptr) {
        SetNumber(result, 0.0);
    }
    return result;
}

// --- update_src_folder, update_des_folder, update_cmy_name -----------------------------------

const char* update_src_folder_script_func_cls::GetArgName(int index) {
    return ArgName(index, 0);
}

int update_src_folder_script_func_cls::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 0;
}

int update_src_folder_script_func_cls::GetArgType(int index) {
    return ArgType(index, nullptr, 0, kTqText);
}

tqValue* update_src_folder_script_func_cls::Invoke(tqValue* result, tqValue*, int) {
    if (result != nullptr) {
        SetText(result, g_src_folder);
    }
    return result;
}

const char* update_des_folder_script_func_cls::GetArgName(int index) {
    return ArgName(index, 0);
}

int update_des_folder_script_func_cls::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 0;
}

int update_des_folder_script_func_cls::GetArgType(int index) {
    return ArgType(index, nullptr, 0, kTqText);
}

tqValue* update_des_folder_script_func_cls::Invoke(tqValue* result, tqValue*, int) {
    if (result != nullptr) {
        SetText(result, g_des);
    }
    return result;
}

const char* update_cmy_name_script_func_cls::GetArgName(int index) {
    return ArgName(index, 0);
}

int update_cmy_name_script_func_cls::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 0;
}

int update_cmy_name_script_func_cls::GetArgType(int index) {
    return ArgType(index, nullptr, 0, kTqText);
}

tqValue* update_cmy_name_script_func_cls::Invoke(tqValue* result, tqValue*, int) {
    if (result != nullptr) {
        SetText(result, g_cmy);
    }
    return result;
}

// --- copy_folder -----------------------------------------------------------------------------

const char* copy_folder_script_func_cls::GetArgName(int index) {
    return ArgName(index, 2);
}

int copy_folder_script_func_cls::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 2;
}

int copy_folder_script_func_cls::GetArgType(int index) {
    return ArgType(index, kCopyArgs, 2, kTqInteger);
}

tqValue* copy_folder_script_func_cls::Invoke(tqValue* result, tqValue* args, int count) {
    const std::wstring destination = platform::AnsiToWide(TextArgument(args, count, 1));
    const std::wstring source = platform::AnsiToWide(TextArgument(args, count, 0));
    const bool copied = CopyFolder(destination, source, destination);
    if (result != nullptr) {
        SetInteger(result, copied ? 1 : 0);
    }
    return result;
}

// --- registration ----------------------------------------------------------------------------

namespace {

update_config_script_func_cls g_updateConfigFunc;
update_src_folder_script_func_cls g_updateSrcFolderFunc;
update_des_folder_script_func_cls g_updateDesFolderFunc;
update_cmy_name_script_func_cls g_updateCmyNameFunc;
copy_folder_script_func_cls g_copyFolderFunc;

[[maybe_unused]] const bool g_scriptFunctionsRegistered = [] {
    tqRegisterFunc("update_config", &g_updateConfigFunc);
    tqRegisterFunc("update_src_folder", &g_updateSrcFolderFunc);
    tqRegisterFunc("update_des_folder", &g_updateDesFolderFunc);
    tqRegisterFunc("update_cmy_name", &g_updateCmyNameFunc);
    tqRegisterFunc("copy_folder", &g_copyFolderFunc);
    return true;
}();

}  // namespace
