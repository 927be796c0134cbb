// Benchmark driver: copy_folder_bench <log folder> <source> <destination> runs one CopyFolder,
// log lines included, and exits 0 when every file was copied.
#include <cstdio>
#include <string>

#include "fileops/copy_folder.h"
#include "platform/debug.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: copy_folder_bench <log folder> <source> <destination>\n");
        return 2;
    }
    platform::SetUnattended(true);
    const bool copied = CopyFolder(platform::Utf8ToWide(argv[1]), platform::Utf8ToWide(argv[2]),
                                   platform::Utf8ToWide(argv[3]));
    return copied ? 0 : 1;
}
