// Benchmark driver: unpacks one package with the product's extraction.
// Usage: zip_extract_bench <package.zip> <destination folder>
#include <cstdio>
#include <string>

#include "platform/fs.h"
#include "platform/text.h"
#include "zip/extract_package.h"
#include "zip/zip_exception.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zip_extract_bench <package.zip> <destination folder>\n");
        return 2;
    }
    try {
        if (!ExtractPackage(platform::AnsiToWide(argv[1]), platform::AnsiToWide(argv[2]))) {
            std::fprintf(stderr, "no such package: %s\n", argv[1]);
            return 1;
        }
    } catch (const CZipException& e) {
        std::fprintf(stderr, "archive error, cause %d\n", static_cast<int>(e.m_cause));
        return 1;
    } catch (const platform::FileException& e) {
        std::fprintf(stderr, "file error %u: %s\n", static_cast<unsigned>(e.m_error),
                     platform::WideToUtf8(e.m_path).c_str());
        return 1;
    }
    return 0;
}
