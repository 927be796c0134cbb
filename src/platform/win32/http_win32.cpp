// HTTP requests over WinINet: InternetOpenW with the preconfigured access type, the connect
// options on the session, InternetOpenUrlW for the request (WinINet follows redirects itself),
// HttpQueryInfoW for the response values and InternetReadFile for the body.
#include "platform/http.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <string>
#include <utility>

namespace platform {

namespace {

// Response values are short; anything longer than this is not a value we can use.
constexpr DWORD kMaxInfoBytes = 64 * 1024;

class InternetHandle {
  public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
    InternetHandle(InternetHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { Reset(); }

    HINTERNET Get() const { return m_handle; }
    void Reset() {
        if (m_handle != nullptr) {
            InternetCloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

  private:
    HINTERNET m_handle = nullptr;
};

[[noreturn]] void ThrowLastError(const char* call) {
    throw HttpException(GetLastError(), call);
}

void SetDwordOption(HINTERNET handle, DWORD option, uint32_t value) {
    if (value == 0) {
        return;
    }
    DWORD dword = value;
    // A refused option keeps WinINet's default; some implementations refuse the back-off.
    InternetSetOptionW(handle, option, &dword, sizeof(dword));
}

}  // namespace

struct HttpSession::Impl {
    InternetHandle session;
    uintptr_t context = 0;
};

struct HttpRequest::Impl {
    InternetHandle request;
};

HttpSession::HttpSession(const HttpSessionSettings& settings) : m_impl(std::make_unique<Impl>()) {
    m_impl->context = settings.context;
    const wchar_t* agent = settings.agent.empty() ? nullptr : settings.agent.c_str();
    m_impl->session =
        InternetHandle(InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (m_impl->session.Get() == nullptr) {
        ThrowLastError("InternetOpenW");
    }
    SetDwordOption(m_impl->session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT,
                   settings.connectTimeoutMs);
    SetDwordOption(m_impl->session.Get(), INTERNET_OPTION_CONNECT_BACKOFF,
                   settings.connectBackoffMs);
    SetDwordOption(m_impl->session.Get(), INTERNET_OPTION_CONNECT_RETRIES, settings.connectRetries);
}

HttpSession::~HttpSession() = default;

HttpRequest HttpSession::OpenUrl(const std::wstring& url, uint32_t flags) {
    auto impl = std::make_unique<HttpRequest::Impl>();
    impl->request = InternetHandle(
        InternetOpenUrlW(m_impl->session.Get(), url.c_str(), nullptr, 0, flags, m_impl->context));
    if (impl->request.Get() == nullptr) {
        ThrowLastError("InternetOpenUrlW");
    }
    return HttpRequest(std::move(impl));
}

HttpRequest::HttpRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
HttpRequest::HttpRequest(HttpRequest&& other) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&& other) noexcept = default;
HttpRequest::~HttpRequest() = default;

std::wstring HttpRequest::QueryInfo(HttpInfo info) const {
    const DWORD level =
        info == HttpInfo::kStatusCode ? HTTP_QUERY_STATUS_CODE : HTTP_QUERY_CONTENT_LENGTH;
    std::wstring text(32, L'\0');
    for (;;) {
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD index = 0;
        if (HttpQueryInfoW(m_impl->request.Get(), level, text.data(), &bytes, &index)) {
            text.resize(bytes / sizeof(wchar_t));
            return text;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes > kMaxInfoBytes) {
            return std::wstring();
        }
        text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
}

bool HttpRequest::SetProxyCredentials(const std::wstring& user, const std::wstring& password) {
    HINTERNET request = m_impl->request.Get();
    // String options take their length in characters.
    const bool userSet =
        InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME,
                           const_cast<wchar_t*>(user.c_str()), static_cast<DWORD>(user.size()));
    const bool passwordSet = InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD,
                                                const_cast<wchar_t*>(password.c_str()),
                                                static_cast<DWORD>(password.size()));
    return userSet && passwordSet;
}

void HttpRequest::Resend() {
    if (!HttpSendRequestW(m_impl->request.Get(), nullptr, 0, nullptr, 0)) {
        ThrowLastError("HttpSendRequestW");
    }
}

size_t HttpRequest::Read(void* buffer, size_t size) {
    if (size == 0) {
        return 0;
    }
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 0x7FFFFFFF));
    DWORD got = 0;
    if (!InternetReadFile(m_impl->request.Get(), buffer, want, &got)) {
        ThrowLastError("InternetReadFile");
    }
    return std::min<size_t>(got, want);
}

}  // namespace platform
