// HTTP GET requests: an internet session with its connect settings, a request opened from a URL,
// its status and Content-Length as text, a resend with proxy credentials, and the body read in
// bounded pieces. Blocking; a session and its requests belong to the thread that uses them.
// Network I/O only.
//
// WinINet on Windows. libcurl on Linux: proxies come from the environment as libcurl reads them,
// redirects are followed, HTTPS checks against the system's certificate store; libcurl has no
// connect back-off or retry count, so those two settings change nothing there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace platform {

// Failure of the HTTP layer: the backend's error number (a Win32/WinINet error on Windows, a
// libcurl code on Linux) and a short text for debugging.
class HttpException : public std::runtime_error {
  public:
    HttpException(uint32_t error, const std::string& what)
        : std::runtime_error(what), m_error(error) {}
    uint32_t m_error;
};

// Request flags in the WinINet numbering. libcurl keeps no cache and transfers every body as it
// is, so on Linux they are accepted and change nothing.
enum : uint32_t {
    kHttpFlagReload = 0x80000000,          // always from the server, never from a cache
    kHttpFlagNoCacheWrite = 0x04000000,    // do not store the response in a cache
    kHttpFlagTransferBinary = 0x00000002,  // the body as it is
};

struct HttpSessionSettings {
    std::wstring agent;             // User-Agent; empty sends none of our own
    uint32_t connectTimeoutMs = 0;  // 0 keeps the backend's default
    uint32_t connectBackoffMs = 0;
    uint32_t connectRetries = 0;
    uintptr_t context = 0;  // handed to the backend with every request
};

// Response values a request can be asked for as text.
enum class HttpInfo { kStatusCode, kContentLength };

// One GET request with its response. Move-only; closed by the destructor. Must be closed before
// the session that opened it.
class HttpRequest {
  public:
    HttpRequest(HttpRequest&& other) noexcept;
    HttpRequest& operator=(HttpRequest&& other) noexcept;
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;
    ~HttpRequest();

    // The value as the final response carries it ("200", "12abc"); empty when the response has
    // no such value or it cannot be read.
    std::wstring QueryInfo(HttpInfo info) const;

    // Sets the proxy user name and password for the next send; false when refused.
    bool SetProxyCredentials(const std::wstring& user, const std::wstring& password);
    // Sends the request again, without headers or body, and waits for the new response's
    // headers. Throws HttpException.
    void Resend();

    // Reads up to size bytes of the body into buffer; answers how many, 0 at the end of the body
    // (the end is the Content-Length when the response has a usable one) and for size 0.
    // Throws HttpException when the transfer fails.
    size_t Read(void* buffer, size_t size);

  private:
    friend class HttpSession;
    struct Impl;
    explicit HttpRequest(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// An internet session: the system's preconfigured proxy settings and the connect options of
// settings. Options the backend refuses are left at its defaults.
class HttpSession {
  public:
    explicit HttpSession(const HttpSessionSettings& settings);  // throws HttpException
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;
    ~HttpSession();

    // Opens url as a GET request with the kHttpFlag* flags and waits for the response headers,
    // after any redirects. Throws HttpException when the URL cannot be opened; a connection
    // closed before any response may instead give a request with status "0" (WinINet).
    HttpRequest OpenUrl(const std::wstring& url, uint32_t flags);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
