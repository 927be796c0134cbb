#include <sys/mman.h>

#include "platform/memory.h"

namespace platform {

void ZeroedBlockDeleter::operator()(char* block) const {
    if (block != nullptr) {
        ::munmap(block, size);
    }
}

ZeroedBlock AllocateZeroed(size_t size) {
    if (size == 0) {
        return ZeroedBlock(nullptr, ZeroedBlockDeleter{0});
    }
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return ZeroedBlock(nullptr, ZeroedBlockDeleter{0});
    }
    // A hint only: where transparent huge pages are off, the block works the same.
    ::madvise(block, size, MADV_HUGEPAGE);
    return ZeroedBlock(static_cast<char*>(block), ZeroedBlockDeleter{size});
}

}  // namespace platform
