#include <windows.h>

#include "platform/memory.h"

namespace platform {

void ZeroedBlockDeleter::operator()(char* block) const {
    if (block != nullptr) {
        ::VirtualFree(block, 0, MEM_RELEASE);
    }
}

ZeroedBlock AllocateZeroed(size_t size) {
    if (size == 0) {
        return ZeroedBlock(nullptr, ZeroedBlockDeleter{0});
    }
    // Committed pages of VirtualAlloc are zero-filled.
    void* block = ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return ZeroedBlock(static_cast<char*>(block), ZeroedBlockDeleter{size});
}

}  // namespace platform
