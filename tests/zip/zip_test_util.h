// The cause number an operation of the ZIP reader ends with.
#pragma once

#include <cstdint>
#include <functional>

#include "zip/zip_exception.h"

namespace ziptest {

// The cause number of the CZipException that action throws; 0 when it throws nothing.
inline int32_t CauseOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CZipException& e) {
        return e.m_cause;
    }
    return 0;
}

}  // namespace ziptest
