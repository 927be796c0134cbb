// tqBase: the in-house runtime the updater stands on. Narrow reference-counted text (tqString),
// script values (tqValue), the registry of native script functions (uiCalcFunc) with call by
// name, the worker-thread base (tqThread) and the integer operation (tqSleep). It is shipped as
// tqBase.dll; the script module tqslib.tql registers its library functions here when loaded.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(TQBASE_BUILD)
#define TQBASE_API __declspec(dllexport)
#else
#define TQBASE_API __declspec(dllimport)
#endif
#else
#define TQBASE_API __attribute__((visibility("default")))
#endif

// Narrow text in the system ANSI code page. The characters are preceded by a reference-counted
// header of the runtime's; copies share it. Thread-safe reference counting.
class TQBASE_API tqString {
public:
    tqString();  // the shared empty text
    tqString(const char* text);
    tqString(const char* text, size_t length);
    tqString(const tqString& other);
    tqString(tqString&& other) noexcept;
    tqString& operator=(const tqString& other);
    tqString& operator=(tqString&& other) noexcept;
    ~tqString();

    // Replaces the text with length bytes from text; a null text gives the empty text.
    void Assign(const char* text, size_t length);
    const char* c_str() const { return m_chars; }
    size_t size() const;
    bool empty() const { return size() == 0; }

    friend TQBASE_API bool operator==(const tqString& a, const tqString& b);

private:
    void Release();
    char* m_chars;
};

// Script value: a 32-bit type word and an 8-byte payload.
enum : uint32_t {
    kTqNumber = 0,     // payload.number (double)
    kTqInteger = 2,    // payload.integer (32-bit)
    kTqText = 3,       // payload.text (narrow characters; owned by the value when set by the runtime)
    kTqRefFlag = 0x400,  // payload.ref points to the tqValue that holds the value
    kTqNone = 0xFFFF,  // read directly although bit 0x400 is set
};

struct tqValue {
    uint32_t type = kTqNumber;
    union {
        double number;
        int32_t integer;
        const char* text;
        tqValue* ref;
        uint64_t bits;
    } payload{.bits = 0};
};

// Sets value to a copy of text (type 3); the value owns the copy until tqValueDestroy.
TQBASE_API void tqValueSetText(tqValue* value, const char* text);
// Releases what the value owns and leaves it the number zero.
TQBASE_API void tqValueDestroy(tqValue* value);

// Base of a native script function.
class TQBASE_API uiCalcFunc {
public:
    virtual ~uiCalcFunc();
    // Name of argument index (-1: the result); null when index is out of range.
    virtual const char* GetArgName(int index);
    // Number of arguments; writes 0 to out.
    virtual int GetArgCount(int* out);
    // Type code of argument index (-1: the result).
    virtual int GetArgType(int index) = 0;
    virtual tqValue* Invoke(tqValue* result, tqValue* args, int count) = 0;
};

// Registers a native function under name. Safe during static initialisation; objects are never
// unregistered. A second registration of a name replaces the first. Answers false for a null
// name or function.
TQBASE_API bool tqRegisterFunc(const char* name, uiCalcFunc* func);
TQBASE_API uiCalcFunc* tqFindFunc(const char* name);

// Calls the function registered under name with count narrow text arguments. The result is
// stored in result (which the caller destroys with tqValueDestroy). Answers false when no
// function has that name; an exception thrown by the function is caught and answers false.
TQBASE_API bool tqCallByName(tqValue* result, const char* name, const char* const* args, int count);
// The same with ready-made argument values.
TQBASE_API bool tqCallValues(tqValue* result, const char* name, tqValue* args, int count);

// Worker-thread base. Start runs Run(param) and then OnRunEnd() on a new thread and deletes the
// object afterwards, exactly once: the object must come from new and belongs to the runtime from
// the moment Start is called. No exception leaves the thread.
class TQBASE_API tqThread {
public:
    tqThread();
    virtual ~tqThread();
    virtual bool Run(int param);
    virtual void OnRunEnd();
    virtual bool IsAutoDelete();
    // Answers 1 when the thread was started, 0 otherwise (the object is then deleted at once).
    int Start(int param);

private:
    uint8_t m_flag;
    uint32_t m_word;
};

// The integer operation: waits for the given number of milliseconds (negative: no wait) and
// answers 0.
TQBASE_API int tqSleep(int milliseconds);
