// Size query and download of one update package over HTTP (worker thread; blocking).
// Both open their own internet session per call: preconfigured proxy settings, 15000 ms connect
// time-out, 1000 ms back-off, 1 retry, no cache, binary; a single 407 retry with empty proxy
// credentials; only the final status "200" counts.
#pragma once

#include <string>

// Progress callback: total and done bytes, called after every chunk on the downloading thread.
using ProgressCallback = void (*)(int total, int done);

// Content-Length of the file at url when the final status is 200 (0 when missing or not a
// number), -1 on any failure.
int GetRemoteFileSize(const std::wstring& url);

class CHttpDownload {
public:
    // Fetches url into target. total -1: progress against this file's own length; otherwise
    // progress of a larger transfer of total bytes of which offset came before this file.
    // True when fetched (also when Content-Length is missing or 0: the target is then untouched);
    // false on any failure, the target left as it was.
    bool Download(const std::wstring& url, const std::wstring& target, ProgressCallback progress,
                  int total, int offset);

private:
    std::wstring m_url;
    std::wstring m_target;
};
