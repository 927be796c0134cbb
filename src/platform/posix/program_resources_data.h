// The program's bitmaps as compiled into the Linux build; see program_resources_posix.cpp.
#pragma once

#include <cstddef>
#include <span>

namespace platform {

struct PackedResource {
    int id;
    size_t size;         // bytes of the BMP file
    const char* base64;  // the file deflated with zlib, in base64
};

extern const std::span<const PackedResource> kPackedBitmaps;

}  // namespace platform
