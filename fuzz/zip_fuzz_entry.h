// One hostile package through the ZIP reader and the package extraction, shared by the libFuzzer
// target and the replay driver that CI runs over the seed corpus. Single thread; works in a
// private folder under the temporary folder and removes what the extraction wrote.
#pragma once

#include <cstddef>
#include <cstdint>

// Aborts when an input breaks a rule the reader or the extraction must keep: an exception other
// than the archive's and the file layer's, a cause number outside the table, more bytes than an
// entry holds, or anything written outside the extraction folder.
int RunZipFuzzInput(const uint8_t* data, size_t size);
