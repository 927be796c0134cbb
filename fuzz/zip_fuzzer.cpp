// libFuzzer target: every input is a package for the ZIP reader and the extraction.
#include <cstddef>
#include <cstdint>

#include "zip_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return RunZipFuzzInput(data, size);
}
