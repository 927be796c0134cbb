// Large zero-filled memory blocks (a whole download body), taken straight from the system: pages
// cost nothing until touched, and on Linux the block asks for huge pages, which spares most of
// the page faults of filling hundreds of megabytes.
#pragma once

#include <cstddef>
#include <memory>

namespace platform {

struct ZeroedBlockDeleter {
    size_t size = 0;
    void operator()(char* block) const;
};
using ZeroedBlock = std::unique_ptr<char, ZeroedBlockDeleter>;

// A zero-filled block of size bytes; null when it cannot be had (or size is 0).
ZeroedBlock AllocateZeroed(size_t size);

}  // namespace platform
