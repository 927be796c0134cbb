// HTTP requests over libcurl, driven through the multi interface so that the body can be pulled
// in pieces of the caller's size.
//
// Design notes:
// - The transfer runs only while a caller waits for something (the response headers in OpenUrl
//   and Resend, body bytes in Read). libcurl hands the body to OnBody in chunks of at most
//   CURL_MAX_WRITE_SIZE; what the caller's buffer cannot take is kept in pending, and while
//   pending holds anything the transfer is paused. So the backend never holds more than one
//   chunk, however large the body.
// - libcurl would reject a Content-Length such as "abc" or "-5" and fail the transfer, where
//   WinINet hands the text to the caller. It is told to ignore the header; OnHeader keeps the
//   text for QueryInfo and Read ends the body at its leading digits, as WinINet does.
// - The response headers are complete at the empty line ending a block that libcurl will not
//   follow (1xx and 3xx with a Location are followed by another block), at the first body byte,
//   or when the transfer ends.
// - What WinINet does and libcurl does not: the connect back-off and retry count (no equivalent)
//   and the cache flags (libcurl has no cache). A proxy refusing a tunnel with 407 is reported
//   as status 407, so that the caller's credential retry works as with WinINet; the empty
//   credentials then let libcurl pick whatever the proxy offers (Negotiate with the user's own
//   ticket where it has one).
#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

// Hops of a redirect chain before the request fails, as a browser would allow.
constexpr long kMaxRedirects = 20;
// A transfer that receives nothing for this long fails, like WinINet's receive time-out.
constexpr long kStallSeconds = 60;
constexpr long kPollMs = 1000;
// Longest Content-Length text kept; longer ones are not sizes anyone can use.
constexpr size_t kMaxValueLength = 256;
constexpr uint64_t kUnknownLength = std::numeric_limits<uint64_t>::max();

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char a = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (a != prefix[i]) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The body length a Content-Length text gives: its leading digits, saturating; unknown when it
// starts with anything else (the body then ends when the server closes).
uint64_t BodyLimit(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return kUnknownLength;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const uint64_t digit = uint64_t(c - '0');
        if (value > (kUnknownLength - digit) / 10) {
            return kUnknownLength;
        }
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

struct HttpSession::Impl {
    std::string agent;
    long connectTimeoutMs = 0;
};

struct HttpRequest::Impl {
    std::string url;
    std::string agent;
    long connectTimeoutMs = 0;
    std::string proxyUser;
    std::string proxyPassword;
    bool proxyCredentials = false;

    MultiPtr multi;
    EasyPtr easy;
    char errorText[CURL_ERROR_SIZE] = {};

    // The response block being received.
    long status = 0;
    std::string contentLength;
    bool chunked = false;
    bool location = false;
    bool headersDone = false;
    bool done = false;
    CURLcode result = CURLE_OK;

    // Body hand-over between OnBody and Read.
    uint64_t bodyLimit = kUnknownLength;
    uint64_t bodyRead = 0;
    char* dest = nullptr;
    size_t destSize = 0;
    size_t destFilled = 0;
    std::vector<char> pending;
    size_t pendingPos = 0;
    bool paused = false;

    ~Impl() { Detach(); }

    void Detach() {
        if (easy && multi) {
            curl_multi_remove_handle(multi.get(), easy.get());
        }
        easy.reset();
    }

    [[noreturn]] void Fail(CURLcode code, const char* call) {
        std::string what = call;
        what += ": ";
        what += errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
        throw HttpException(uint32_t(code), what);
    }

    // Starts a fresh transfer of url on the multi handle, so that a resend may reuse the
    // connection, and waits for its response headers.
    void Start() {
        Detach();
        status = 0;
        contentLength.clear();
        chunked = location = headersDone = done = paused = false;
        result = CURLE_OK;
        bodyLimit = kUnknownLength;
        bodyRead = 0;
        pending.clear();
        pendingPos = 0;
        errorText[0] = '\0';

        easy.reset(curl_easy_init());
        if (!easy) {
            throw HttpException(uint32_t(CURLE_OUT_OF_MEMORY), "curl_easy_init");
        }
        CURL* e = easy.get();
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
        if (connectTimeoutMs > 0) {
            curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        }
        if (!agent.empty()) {
            curl_easy_setopt(e, CURLOPT_USERAGENT, agent.c_str());
        }
        if (proxyCredentials) {
            curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
            curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
            curl_easy_setopt(e, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
        }
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::HeaderCallback);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, this);

        const CURLMcode added = curl_multi_add_handle(multi.get(), e);
        if (added != CURLM_OK) {
            easy.reset();
            throw HttpException(uint32_t(added), curl_multi_strerror(added));
        }

        Pump([this] { return headersDone; });
        if (!headersDone) {
            if (result != CURLE_OK) {
                long connectCode = 0;
                curl_easy_getinfo(e, CURLINFO_HTTP_CONNECTCODE, &connectCode);
                if (connectCode != 407) {
                    Fail(result, "curl transfer");
                }
                status = 407;
                contentLength.clear();
            }
            // Otherwise the transfer ended without a body: the last block is the response.
            headersDone = true;
        }
        bodyLimit = chunked ? kUnknownLength : BodyLimit(contentLength);
    }

    // Runs the transfer until ready() or the transfer's end.
    void Pump(const std::function<bool()>& ready) {
        while (!done && !ready()) {
            int running = 0;
            CURLMcode code = curl_multi_perform(multi.get(), &running);
            if (code != CURLM_OK) {
                throw HttpException(uint32_t(code), curl_multi_strerror(code));
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get()) {
                    done = true;
                    result = message->data.result;
                }
            }
            if (done || ready()) {
                break;
            }
            code = curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
            if (code != CURLM_OK) {
                throw HttpException(uint32_t(code), curl_multi_strerror(code));
            }
        }
    }

    size_t OnHeader(std::string_view line) {
        if (StartsWithNoCase(line, "http/")) {
            // A new response block: keep the values of the last one only.
            status = 0;
            contentLength.clear();
            chunked = location = false;
            const size_t space = line.find(' ');
            if (space != std::string_view::npos) {
                std::string_view code = Trim(line.substr(space + 1));
                long value = 0;
                for (size_t i = 0; i < code.size() && i < 3 && code[i] >= '0' && code[i] <= '9';
                     ++i) {
                    value = value * 10 + (code[i] - '0');
                }
                status = value;
            }
        } else if (Trim(line).empty()) {
            const bool followed = status < 200 || (status >= 300 && status < 400 && location);
            if (!followed) {
                headersDone = true;
            }
        } else if (StartsWithNoCase(line, "content-length:")) {
            if (contentLength.empty()) {
                std::string_view value = Trim(line.substr(15));
                contentLength.assign(value.substr(0, kMaxValueLength));
            }
        } else if (StartsWithNoCase(line, "transfer-encoding:")) {
            std::string value(Trim(line.substr(18)));
            std::transform(value.begin(), value.end(), value.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
            chunked = value.find("chunked") != std::string::npos;
        } else if (StartsWithNoCase(line, "location:")) {
            location = !Trim(line.substr(9)).empty();
        }
        return line.size();
    }

    size_t OnBody(const char* data, size_t length) {
        headersDone = true;
        if (pendingPos < pending.size()) {
            paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        size_t taken = 0;
        if (dest != nullptr) {
            taken = std::min(length, destSize - destFilled);
            std::memcpy(dest + destFilled, data, taken);
            destFilled += taken;
        }
        pending.assign(data + taken, data + length);
        pendingPos = 0;
        return length;
    }

    static size_t HeaderCallback(char* data, size_t size, size_t count, void* self) {
        return static_cast<Impl*>(self)->OnHeader(std::string_view(data, size * count));
    }
    static size_t BodyCallback(char* data, size_t size, size_t count, void* self) {
        return static_cast<Impl*>(self)->OnBody(data, size * count);
    }

    size_t Read(char* buffer, size_t size) {
        if (bodyRead >= bodyLimit) {
            return 0;
        }
        size = size_t(std::min<uint64_t>(size, bodyLimit - bodyRead));
        if (size == 0) {
            return 0;
        }
        size_t got = 0;
        if (pendingPos < pending.size()) {
            got = std::min(size, pending.size() - pendingPos);
            std::memcpy(buffer, pending.data() + pendingPos, got);
            pendingPos += got;
        } else {
            dest = buffer;
            destSize = size;
            destFilled = 0;
            if (paused) {
                // Unpausing may hand the chunk libcurl held back to OnBody at once.
                paused = false;
                const CURLcode resumed = curl_easy_pause(easy.get(), CURLPAUSE_CONT);
                if (resumed != CURLE_OK) {
                    dest = nullptr;
                    Fail(resumed, "curl_easy_pause");
                }
            }
            try {
                Pump([this] { return destFilled > 0; });
            } catch (...) {
                dest = nullptr;
                throw;
            }
            dest = nullptr;
            got = destFilled;
            if (got == 0 && result != CURLE_OK) {
                Fail(result, "curl transfer");
            }
        }
        bodyRead += got;
        return got;
    }
};

HttpSession::HttpSession(const HttpSessionSettings& settings) : m_impl(std::make_unique<Impl>()) {
    GlobalInit();
    m_impl->agent = WideToUtf8(settings.agent);
    m_impl->connectTimeoutMs = long(settings.connectTimeoutMs);
}

HttpSession::~HttpSession() = default;

HttpRequest HttpSession::OpenUrl(const std::wstring& url, uint32_t /*flags*/) {
    auto impl = std::make_unique<HttpRequest::Impl>();
    impl->url = WideToUtf8(url);
    impl->agent = m_impl->agent;
    impl->connectTimeoutMs = m_impl->connectTimeoutMs;
    impl->pending.reserve(CURL_MAX_WRITE_SIZE);
    impl->multi.reset(curl_multi_init());
    if (!impl->multi) {
        throw HttpException(uint32_t(CURLE_OUT_OF_MEMORY), "curl_multi_init");
    }
    impl->Start();
    return HttpRequest(std::move(impl));
}

HttpRequest::HttpRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
HttpRequest::HttpRequest(HttpRequest&& other) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&& other) noexcept = default;
HttpRequest::~HttpRequest() = default;

std::wstring HttpRequest::QueryInfo(HttpInfo info) const {
    if (info == HttpInfo::kStatusCode) {
        return m_impl->status > 0 ? std::to_wstring(m_impl->status) : std::wstring();
    }
    return Utf8ToWide(m_impl->contentLength);
}

bool HttpRequest::SetProxyCredentials(const std::wstring& user, const std::wstring& password) {
    m_impl->proxyUser = WideToUtf8(user);
    m_impl->proxyPassword = WideToUtf8(password);
    m_impl->proxyCredentials = true;
    return true;
}

void HttpRequest::Resend() {
    m_impl->Start();
}

size_t HttpRequest::Read(void* buffer, size_t size) {
    return m_impl->Read(static_cast<char*>(buffer), size);
}

}  // namespace platform
