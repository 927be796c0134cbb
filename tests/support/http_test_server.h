// A scripted HTTP/1.1 server for tests: listens on 127.0.0.1 at an ephemeral port, answers each
// path with the responses set for it, and records what it was asked. Responses can be wrong on
// purpose (a Content-Length that is not a number, a body shorter or longer than announced, no
// answer at all) to show how a client copes.
//
// The server runs on threads of the test process (one accepting, one per connection); it is
// started by the constructor and stopped by Stop() or the destructor, which also ends the
// connections still open, hanging ones included.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

struct HttpTestResponse {
    // Fills out with the size bytes of the body that start at offset.
    using Generator = std::function<void(uint64_t offset, char* out, size_t size)>;

    int status = 200;
    std::string reason;  // empty: the usual phrase for the status
    std::vector<std::pair<std::string, std::string>> headers;

    // The body: body, or bodySize bytes from generator, or the file at bodyFile (read when the
    // response is sent, so large files are never held in memory).
    std::string body;
    uint64_t bodySize = 0;
    Generator generator;
    std::wstring bodyFile;

    // The Content-Length header: the body's size unless contentLength is set, which is sent as
    // it is ("12abc", "-5", a size larger than the body...). omitContentLength sends none: the
    // body then ends when the connection closes.
    std::string contentLength;
    bool omitContentLength = false;

    // Accepts the request and never answers; the connection ends when the server stops.
    bool hang = false;

    static HttpTestResponse Ok(std::string body);
    static HttpTestResponse Status(int status, std::string body = std::string());
    static HttpTestResponse Redirect(int status, std::string location);
    static HttpTestResponse Generated(uint64_t size, Generator generator);
    static HttpTestResponse File(std::wstring path);
    static HttpTestResponse Hang();

    HttpTestResponse& Header(std::string name, std::string value);
    HttpTestResponse& WithContentLength(std::string text);
    HttpTestResponse& WithoutContentLength();
};

struct HttpRecordedRequest {
    std::string method;
    std::string target;  // as sent, query included
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first header of that name (any case); empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class HttpTestServer {
  public:
    HttpTestServer();  // listens at once; throws std::runtime_error when it cannot
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path (path starts with '/').
    std::wstring Url(std::string_view path) const;

    // Answers requests for path (the target without its query) with response.
    void Route(const std::string& path, HttpTestResponse response);
    // Answers the n-th request for path with the n-th response, and all later ones with the last.
    void Route(const std::string& path, std::vector<HttpTestResponse> responses);
    // Unrouted paths get 404.

    size_t RequestCount(const std::string& path) const;
    std::vector<HttpRecordedRequest> Requests(const std::string& path) const;
    // Blocks until path has seen count requests; false when the server stopped first or after a
    // minute, so that a broken test fails instead of hanging.
    bool WaitForRequests(const std::string& path, size_t count);

    // Stops accepting, ends every open connection and joins the threads. Idempotent.
    void Stop();

    // A port on 127.0.0.1 where nothing listens (bound once, then released).
    static uint16_t ClosedPort();

    // Makes this server the system's HTTP proxy for the life of the returned object, through the
    // http_proxy environment variable that libcurl and Wine's WinINet read. Requests for any
    // http:// URL then arrive here and are routed by their path.
    class SystemProxy {
      public:
        explicit SystemProxy(uint16_t port);
        ~SystemProxy();
        SystemProxy(const SystemProxy&) = delete;
        SystemProxy& operator=(const SystemProxy&) = delete;

      private:
        std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
    };
    SystemProxy ActAsSystemProxy() const { return SystemProxy(m_port); }
    // False where the proxy cannot be set this way (Windows itself takes it from its settings).
    static bool CanActAsSystemProxy();

  private:
    struct Connection;
    void AcceptLoop();
    void Serve(Connection* connection);
    HttpTestResponse Record(HttpRecordedRequest request, const std::string& path);
    bool Stopping() const;

    uintptr_t m_listener;
    uint16_t m_port = 0;
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    std::map<std::string, std::vector<HttpTestResponse>> m_routes;
    std::map<std::string, std::vector<HttpRecordedRequest>> m_requests;
    std::vector<std::unique_ptr<Connection>> m_connections;
};

}  // namespace testing_support
