// Registers the bitmaps compiled into the program (program_resources_data.cpp, generated from
// res/ by res/embed_resources.py) with the window layer. Each bitmap is stored deflated and
// base64-encoded; it is unpacked once into storage that lives as long as the process, since the
// window layer keeps pointers to the registered bytes.
#include "platform/program_resources.h"

#include <zlib.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "platform/posix/program_resources_data.h"

namespace platform {
namespace {

// A bitmap above this size is not one of ours; the guard keeps a damaged table from allocating
// without bound.
constexpr size_t kMaxResourceBytes = 8u << 20;

bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    out.clear();
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const int v = value(c);
        if (v < 0) {
            return false;
        }
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<uint8_t>((bits >> count) & 0xFF));
        }
    }
    return true;
}

bool Inflate(const std::vector<uint8_t>& packed, size_t size, std::vector<uint8_t>& out) {
    if (size == 0 || size > kMaxResourceBytes) {
        return false;
    }
    out.resize(size);
    uLongf length = static_cast<uLongf>(size);
    if (uncompress(out.data(), &length, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        length != size) {
        return false;
    }
    return true;
}

}  // namespace

void RegisterProgramResources() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A deque never moves what it holds, so the registered bytes stay where they are.
        static std::deque<std::vector<uint8_t>> storage;
        for (const PackedResource& r : kPackedBitmaps) {
            std::vector<uint8_t> packed;
            std::vector<uint8_t> bytes;
            if (!DecodeBase64(r.base64, packed) || !Inflate(packed, r.size, bytes)) {
                continue;  // a resource that cannot be unpacked is absent, as a missing one is
            }
            storage.push_back(std::move(bytes));
            RegisterBitmapResource(r.id, storage.back().data(), storage.back().size());
        }
    });
}

}  // namespace platform
