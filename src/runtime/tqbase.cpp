// tqBase: text, values, the native function registry with call by name, the thread base and the
// integer operation. See tqbase.h for the contracts.
#include "runtime/tqbase.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// Header ahead of the characters of every tqString.
struct TextHeader {
    std::atomic<long> refs;
    size_t length;
};

struct EmptyText {
    TextHeader header{{1L << 30}, 0};
    char chars[1] = {0};
};
EmptyText g_emptyText;

char* EmptyChars() {
    return g_emptyText.chars;
}

TextHeader* HeaderOf(char* chars) {
    return reinterpret_cast<TextHeader*>(chars - sizeof(TextHeader));
}

char* NewText(const char* text, size_t length) {
    if (text == nullptr || length == 0) {
        return EmptyChars();
    }
    void* block = std::malloc(sizeof(TextHeader) + length + 1);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    auto* header = new (block) TextHeader{{1}, length};
    char* chars = reinterpret_cast<char*>(header + 1);
    std::memcpy(chars, text, length);
    chars[length] = '\0';
    return chars;
}

void AddRef(char* chars) {
    if (chars != EmptyChars()) {
        HeaderOf(chars)->refs.fetch_add(1, std::memory_order_relaxed);
    }
}

void ReleaseText(char* chars) {
    if (chars == nullptr || chars == EmptyChars()) {
        return;
    }
    TextHeader* header = HeaderOf(chars);
    if (header->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        header->~TextHeader();
        std::free(header);
    }
}

struct Registry {
    std::mutex lock;
    std::map<std::string, uiCalcFunc*> functions;
};

// Constructed on first use, so registration from other modules' static initialisers works
// whatever the order of initialisation; never destroyed, since registered objects outlive main.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

tqString::tqString() : m_chars(EmptyChars()) {}
tqString::tqString(const char* text) : m_chars(NewText(text, text ? std::strlen(text) : 0)) {}
tqString::tqString(const char* text, size_t length) : m_chars(NewText(text, length)) {}
tqString::tqString(const tqString& other) : m_chars(other.m_chars) {
    AddRef(m_chars);
}
tqString::tqString(tqString&& other) noexcept : m_chars(other.m_chars) {
    other.m_chars = EmptyChars();
}
tqString& tqString::operator=(const tqString& other) {
    if (m_chars != other.m_chars) {
        AddRef(other.m_chars);
        Release();
        m_chars = other.m_chars;
    }
    return *this;
}
tqString& tqString::operator=(tqString&& other) noexcept {
    if (this != &other) {
        Release();
        m_chars = other.m_chars;
        other.m_chars = EmptyChars();
    }
    return *this;
}
tqString::~tqString() {
    Release();
}

void tqString::Assign(const char* text, size_t length) {
    char* fresh = NewText(text, length);
    Release();
    m_chars = fresh;
}

size_t tqString::size() const {
    return HeaderOf(m_chars)->length;
}

void tqString::Release() {
    ReleaseText(m_chars);
    m_chars = EmptyChars();
}

bool operator==(const tqString& a, const tqString& b) {
    return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size()) == 0;
}

void tqValueSetText(tqValue* value, const char* text) {
    if (value == nullptr) {
        return;
    }
    char* chars = NewText(text, text ? std::strlen(text) : 0);
    tqValueDestroy(value);
    value->type = kTqText;
    value->payload.text = chars;
}

void tqValueDestroy(tqValue* value) {
    if (value == nullptr) {
        return;
    }
    if (value->type == kTqText && value->payload.text != nullptr) {
        ReleaseText(const_cast<char*>(value->payload.text));
    }
    value->type = kTqNumber;
    value->payload.bits = 0;
}

uiCalcFunc::~uiCalcFunc() = default;
const char* uiCalcFunc::GetArgName(int) {
    return nullptr;
}
int uiCalcFunc::GetArgCount(int* out) {
    if (out != nullptr) {
        *out = 0;
    }
    return 0;
}

bool tqRegisterFunc(const char* name, uiCalcFunc* func) {
    if (name == nullptr || func == nullptr) {
        return false;
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.functions[name] = func;
    return true;
}

uiCalcFunc* tqFindFunc(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.functions.find(name);
    return it == registry.functions.end() ? nullptr : it->second;
}

bool tqCallValues(tqValue* result, const char* name, tqValue* args, int count) {
    uiCalcFunc* func = tqFindFunc(name);
    if (func == nullptr || result == nullptr || count < 0) {
        return false;
    }
    try {
        func->Invoke(result, args, count);
        return true;
    } catch (...) {
        // A script function's failure never unwinds into the caller's frames.
        return false;
    }
}

bool tqCallByName(tqValue* result, const char* name, const char* const* args, int count) {
    if (count < 0 || (count > 0 && args == nullptr)) {
        return false;
    }
    std::vector<tqValue> values(static_cast<size_t>(count));
    bool ok = false;
    try {
        for (int i = 0; i < count; ++i) {
            tqValueSetText(&values[static_cast<size_t>(i)], args[i] ? args[i] : "");
        }
        ok = tqCallValues(result, name, values.data(), count);
    } catch (...) {
        ok = false;
    }
    for (tqValue& value : values) {
        tqValueDestroy(&value);
    }
    return ok;
}

tqThread::tqThread() : m_flag(0), m_word(0) {}
tqThread::~tqThread() = default;
bool tqThread::Run(int) {
    return false;
}
void tqThread::OnRunEnd() {}
bool tqThread::IsAutoDelete() {
    return true;
}

int tqThread::Start(int param) {
    try {
        std::thread([this, param] {
            try {
                Run(param);
            } catch (...) {
            }
            try {
                OnRunEnd();
            } catch (...) {
            }
            delete this;
        }).detach();
        return 1;
    } catch (...) {
        delete this;
        return 0;
    }
}

int tqSleep(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    return 0;
}
