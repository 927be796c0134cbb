// Downloads one URL to a file with the product's downloader, for timing against other clients.
// Usage: http_download_bench <url> <target file>
#include <cstdio>
#include <string>

#include "net/http_download.h"
#include "platform/text.h"

namespace {

int g_calls = 0;
int g_lastDone = 0;

void CountProgress(int /*total*/, int done) {
    ++g_calls;
    g_lastDone = done;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <url> <target file>\n", argv[0]);
        return 2;
    }
    CHttpDownload download;
    const bool ok = download.Download(platform::Utf8ToWide(argv[1]), platform::Utf8ToWide(argv[2]),
                                      &CountProgress, -1, 0);
    if (!ok) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    std::fprintf(stderr, "%d bytes, %d progress calls\n", g_lastDone, g_calls);
    return 0;
}
