// Size query and download of one package file. Every failure on the way, whatever the layer
// below reports it with, ends in the operation's failure value: nothing escapes to the worker.
#include "net/http_download.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/http.h"
#include "platform/memory.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kConnectTimeoutMs = 15000;
constexpr uint32_t kConnectBackoffMs = 1000;
constexpr uint32_t kConnectRetries = 1;
constexpr uint32_t kRequestFlags =
    platform::kHttpFlagReload | platform::kHttpFlagNoCacheWrite | platform::kHttpFlagTransferBinary;
static_assert(kRequestFlags == 0x84000002);
constexpr uintptr_t kRequestContext = 1;
// Largest piece asked of the connection at once; the progress callback fires after each.
constexpr size_t kReadChunk = 8192;

platform::HttpSessionSettings SessionSettings() {
    platform::HttpSessionSettings settings;
    // Without an agent of its own the session identifies itself by the application's name.
    settings.agent = platform::AppTitle();
    settings.connectTimeoutMs = kConnectTimeoutMs;
    settings.connectBackoffMs = kConnectBackoffMs;
    settings.connectRetries = kConnectRetries;
    settings.context = kRequestContext;
    return settings;
}

// Opens url; answers the request when the final status is "200". A proxy asking for credentials
// gets one more send with empty ones, which lets the system answer with the user's own.
std::optional<platform::HttpRequest> OpenRequest(platform::HttpSession& session,
                                                 const std::wstring& url) {
    platform::HttpRequest request = session.OpenUrl(url, kRequestFlags);
    if (request.QueryInfo(platform::HttpInfo::kStatusCode) == L"407") {
        request.SetProxyCredentials(std::wstring(), std::wstring());
        request.Resend();
    }
    if (request.QueryInfo(platform::HttpInfo::kStatusCode) != L"200") {
        return std::nullopt;
    }
    return request;
}

// Content-Length read as the C runtime reads a number: optional blanks and sign, then the leading
// decimal digits; no digits give 0 ("12abc" is 12, "abc" is 0). A negative value, or one beyond
// an int, is no usable length: nullopt, so that it can neither size a buffer nor wrap into a
// plausible positive one.
std::optional<int> ParseContentLength(std::wstring_view text) {
    const long long value = platform::LeadingInteger(text);
    if (value < 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> ContentLength(const platform::HttpRequest& request) {
    return ParseContentLength(request.QueryInfo(platform::HttpInfo::kContentLength));
}

std::wstring FolderFor(const std::wstring& path) {
    const auto separator = std::find_if(path.rbegin(), path.rend(), platform::IsPathSep);
    if (separator == path.rend()) {
        return std::wstring(L".") + platform::kPathSepStr;
    }
    return path.substr(0, static_cast<size_t>(path.rend() - separator));
}

// Writes the whole body into a temporary file beside target and moves it over target once it is
// complete, so that a failed write (a full disk, no permission, a folder in the way) leaves
// target as it was and no partial file behind.
bool WriteTarget(const std::wstring& target, const char* data, size_t size) {
    const std::wstring temp = platform::CreateTempFile(FolderFor(target), L"dl");
    if (temp.empty()) {
        return false;
    }
    try {
        platform::File file(temp, platform::File::Mode::kCreateWrite);
        file.Write(data, size);
        file.Close();
    } catch (const platform::FileException&) {
        platform::RemoveFile(temp);
        return false;
    }
    if (!platform::MoveFileOver(temp, target)) {
        platform::RemoveFile(temp);
        return false;
    }
    return true;
}

}  // namespace

int GetRemoteFileSize(const std::wstring& url) {
    try {
        platform::HttpSession session(SessionSettings());
        std::optional<platform::HttpRequest> request = OpenRequest(session, url);
        if (!request) {
            return -1;
        }
        return ContentLength(*request).value_or(-1);
    } catch (...) {
        return -1;
    }
}

bool CHttpDownload::Download(const std::wstring& url, const std::wstring& target,
                             ProgressCallback progress, int total, int offset) {
    try {
        m_url = url;
        m_target = target;
        platform::ZeroedBlock body;
        size_t length = 0;
        {
            platform::HttpSession session(SessionSettings());
            std::optional<platform::HttpRequest> request = OpenRequest(session, m_url);
            if (!request) {
                return false;
            }
            const std::optional<int> contentLength = ContentLength(*request);
            if (!contentLength) {
                return false;
            }
            if (*contentLength == 0) {
                return true;
            }
            length = static_cast<size_t>(*contentLength);

            // The reported done value is the progress total less what is still to come, so it
            // starts at offset (or 0) and ends at the total.
            const long long progressTotal = total == -1 ? length : total;
            long long toCome = total == -1 ? static_cast<long long>(length)
                                           : static_cast<long long>(total) - offset;

            body = platform::AllocateZeroed(length);
            if (!body) {
                return false;
            }
            size_t position = 0;
            for (;;) {
                const size_t want = std::min(length - position, kReadChunk);
                const size_t got = request->Read(body.get() + position, want);
                if (got == 0) {
                    if (position == length) {
                        break;
                    }
                    return false;  // the connection ended before Content-Length bytes
                }
                if (got > want) {
                    return false;
                }
                position += got;
                toCome -= static_cast<long long>(got);
                if (progress != nullptr) {
                    progress(static_cast<int>(progressTotal),
                             static_cast<int>(progressTotal - toCome));
                }
            }
        }
        return WriteTarget(m_target, body.get(), length);
    } catch (...) {
        return false;
    }
}
