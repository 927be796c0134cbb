// Runs files (or every file of folders) through the ZIP fuzz entry without libFuzzer, so that the
// seed corpus and any crash input can be replayed by an ordinary build under the sanitizers.
// Usage: zip_fuzz_replay <file or folder>...
#include <cstdio>
#include <string>
#include <vector>

#include "zip_fuzz_entry.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

std::vector<uint8_t> ReadWhole(const std::wstring& path) {
    platform::File file(path, platform::File::Mode::kRead);
    std::vector<uint8_t> bytes(static_cast<size_t>(file.Length()));
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zip_fuzz_replay <file or folder>...\n");
        return 2;
    }
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring path = platform::AnsiToWide(argv[i]);
        std::vector<std::wstring> files;
        if (platform::IsFolder(path)) {
            for (const platform::DirEntry& entry : platform::ListFolder(path)) {
                if (!entry.IsFolder()) {
                    files.push_back(path + platform::kPathSep + entry.name);
                }
            }
        } else {
            files.push_back(path);
        }
        if (files.empty()) {
            std::fprintf(stderr, "nothing to replay in %s\n", argv[i]);
            return 1;
        }
        for (const std::wstring& file : files) {
            const std::vector<uint8_t> bytes = ReadWhole(file);
            RunZipFuzzInput(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("replayed %d inputs\n", runs);
    return 0;
}
