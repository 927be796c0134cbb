// The scripted test server. Every socket wait is a short poll that also watches the stop flag, so
// that Stop() ends blocked connections on both socket layers without closing a socket under
// another thread's feet.
#include "support/http_test_server.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testing_support {

namespace {

#if defined(_WIN32)
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutWrite = SD_SEND;
constexpr int kShutBoth = SD_BOTH;

void CloseSocket(Socket s) {
    closesocket(s);
}

int PollOne(Socket s, short events, int timeoutMs) {
    WSAPOLLFD fd{};
    fd.fd = s;
    fd.events = events;
    return WSAPoll(&fd, 1, timeoutMs);
}

std::optional<std::string> GetVariable(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(wide.c_str(), value, 1024);
    if (length == 0 || length >= 1024) {
        return std::nullopt;
    }
    return std::string(value, value + length);
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    const std::wstring wide(name.begin(), name.end());
    const std::wstring wideValue = value ? std::wstring(value->begin(), value->end()) : L"";
    SetEnvironmentVariableW(wide.c_str(), value ? wideValue.c_str() : nullptr);
    // Wine's WinINet reads the variable through the C runtime it is built on, whose copy of the
    // environment was taken at its first use; set it there too (an empty value removes it).
    using PutEnv = int(__cdecl*)(const wchar_t*, const wchar_t*);
    if (HMODULE crt = LoadLibraryW(L"ucrtbase.dll")) {
        auto put = reinterpret_cast<PutEnv>(
            reinterpret_cast<void (*)()>(GetProcAddress(crt, "_wputenv_s")));
        if (put != nullptr) {
            put(wide.c_str(), wideValue.c_str());
        }
        FreeLibrary(crt);
    }
}

bool ProxyFromEnvironment() {
    // Wine's WinINet reads http_proxy; Windows itself does not.
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

void InitSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) {
        throw std::runtime_error("WSAStartup failed");
    }
}
#else
using Socket = int;
const Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a client that went away must not raise SIGPIPE
constexpr int kShutWrite = SHUT_WR;
constexpr int kShutBoth = SHUT_RDWR;

void CloseSocket(Socket s) {
    ::close(s);
}

int PollOne(Socket s, short events, int timeoutMs) {
    pollfd fd{};
    fd.fd = s;
    fd.events = events;
    return ::poll(&fd, 1, timeoutMs);
}

std::optional<std::string> GetVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

bool ProxyFromEnvironment() {
    return true;
}

void InitSockets() {}
#endif

constexpr int kPollMs = 20;
constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr size_t kSendChunk = 64 * 1024;

Socket ToSocket(uintptr_t value) {
    return static_cast<Socket>(value);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

Socket Listen127(uint16_t& port) {
    Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) {
        throw std::runtime_error("cannot create a socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof(address);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        CloseSocket(s);
        throw std::runtime_error("cannot bind a socket on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

// ---- responses ------------------------------------------------------------------------------

HttpTestResponse HttpTestResponse::Ok(std::string body) {
    HttpTestResponse response;
    response.body = std::move(body);
    return response;
}

HttpTestResponse HttpTestResponse::Status(int status, std::string body) {
    HttpTestResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

HttpTestResponse HttpTestResponse::Redirect(int status, std::string location) {
    HttpTestResponse response;
    response.status = status;
    response.headers.emplace_back("Location", std::move(location));
    response.body = "moved";
    return response;
}

HttpTestResponse HttpTestResponse::Generated(uint64_t size, Generator generator) {
    HttpTestResponse response;
    response.bodySize = size;
    response.generator = std::move(generator);
    return response;
}

HttpTestResponse HttpTestResponse::File(std::wstring path) {
    HttpTestResponse response;
    response.bodyFile = std::move(path);
    return response;
}

HttpTestResponse HttpTestResponse::Hang() {
    HttpTestResponse response;
    response.hang = true;
    return response;
}

HttpTestResponse& HttpTestResponse::Header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

HttpTestResponse& HttpTestResponse::WithContentLength(std::string text) {
    contentLength = std::move(text);
    return *this;
}

HttpTestResponse& HttpTestResponse::WithoutContentLength() {
    omitContentLength = true;
    return *this;
}

std::string HttpRecordedRequest::Header(std::string_view name) const {
    const std::string wanted = Lower(name);
    for (const auto& [key, value] : headers) {
        if (Lower(key) == wanted) {
            return value;
        }
    }
    return std::string();
}

bool HttpRecordedRequest::HasHeader(std::string_view name) const {
    const std::string wanted = Lower(name);
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& header) { return Lower(header.first) == wanted; });
}

// ---- server ---------------------------------------------------------------------------------

struct HttpTestServer::Connection {
    Socket socket = kNoSocket;
    std::thread thread;
};

HttpTestServer::HttpTestServer() {
    InitSockets();
    Socket listener = Listen127(m_port);
    if (::listen(listener, SOMAXCONN) != 0) {
        CloseSocket(listener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_listener = static_cast<uintptr_t>(listener);
    m_acceptThread = std::thread(&HttpTestServer::AcceptLoop, this);
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

std::wstring HttpTestServer::Url(std::string_view path) const {
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(m_port);
    url.append(path.begin(), path.end());
    return url;
}

void HttpTestServer::Route(const std::string& path, HttpTestResponse response) {
    Route(path, std::vector<HttpTestResponse>{std::move(response)});
}

void HttpTestServer::Route(const std::string& path, std::vector<HttpTestResponse> responses) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes[path] = std::move(responses);
}

size_t HttpTestServer::RequestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_requests.find(path);
    return found == m_requests.end() ? 0 : found->second.size();
}

std::vector<HttpRecordedRequest> HttpTestServer::Requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_requests.find(path);
    return found == m_requests.end() ? std::vector<HttpRecordedRequest>() : found->second;
}

bool HttpTestServer::WaitForRequests(const std::string& path, size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::minutes(1), [&] {
        auto found = m_requests.find(path);
        return m_stopping || (found != m_requests.end() && found->second.size() >= count);
    }) && !m_stopping;
}

bool HttpTestServer::Stopping() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void HttpTestServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
    }
    m_changed.notify_all();
    m_acceptThread.join();
    CloseSocket(ToSocket(m_listener));
    // The accept thread is gone, so the list no longer changes.
    for (auto& connection : m_connections) {
        connection->thread.join();
        CloseSocket(connection->socket);
    }
    m_connections.clear();
}

uint16_t HttpTestServer::ClosedPort() {
    InitSockets();
    uint16_t port = 0;
    CloseSocket(Listen127(port));
    return port;
}

HttpTestServer::SystemProxy::SystemProxy(uint16_t port) {
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    const std::pair<const char*, std::optional<std::string>> variables[] = {
        {"http_proxy", proxy}, {"no_proxy", std::nullopt}, {"NO_PROXY", std::nullopt}};
    for (const auto& [name, value] : variables) {
        m_saved.emplace_back(name, GetVariable(name));
        SetVariable(name, value);
    }
}

HttpTestServer::SystemProxy::~SystemProxy() {
    for (const auto& [name, value] : m_saved) {
        SetVariable(name, value);
    }
}

bool HttpTestServer::CanActAsSystemProxy() {
    return ProxyFromEnvironment();
}

void HttpTestServer::AcceptLoop() {
    const Socket listener = ToSocket(m_listener);
    while (!Stopping()) {
        if (PollOne(listener, POLLIN, kPollMs) <= 0) {
            continue;
        }
        Socket s = ::accept(listener, nullptr, nullptr);
        if (s == kNoSocket) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        auto connection = std::make_unique<Connection>();
        connection->socket = s;
        connection->thread = std::thread(&HttpTestServer::Serve, this, connection.get());
        m_connections.push_back(std::move(connection));
    }
}

HttpTestResponse HttpTestServer::Record(HttpRecordedRequest request, const std::string& path) {
    HttpTestResponse response = HttpTestResponse::Status(404, "not found");
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<HttpRecordedRequest>& seen = m_requests[path];
        seen.push_back(std::move(request));
        auto route = m_routes.find(path);
        if (route != m_routes.end() && !route->second.empty()) {
            response = route->second[std::min(seen.size(), route->second.size()) - 1];
        }
    }
    m_changed.notify_all();
    return response;
}

void HttpTestServer::Serve(Connection* connection) {
    const Socket s = connection->socket;

    // Both wait for the socket or the stop flag; false when the connection is over.
    auto receive = [&](char* buffer, size_t size) -> long {
        while (!Stopping()) {
            const int ready = PollOne(s, POLLIN, kPollMs);
            if (ready < 0) {
                return -1;
            }
            if (ready > 0) {
                return static_cast<long>(::recv(s, buffer, static_cast<int>(size), 0));
            }
        }
        return -1;
    };
    auto sendAll = [&](const char* data, size_t size) {
        while (size > 0) {
            if (Stopping()) {
                return false;
            }
            const int ready = PollOne(s, POLLOUT, kPollMs);
            if (ready < 0) {
                return false;
            }
            if (ready == 0) {
                continue;
            }
            const long sent = static_cast<long>(
                ::send(s, data, static_cast<int>(std::min(size, kSendChunk)), kSendFlags));
            if (sent <= 0) {
                return false;
            }
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return true;
    };

    std::string input;
    for (;;) {
        // One request head.
        size_t headEnd;
        while ((headEnd = input.find("\r\n\r\n")) == std::string::npos) {
            if (input.size() > kMaxRequestHead) {
                ::shutdown(s, kShutBoth);
                return;
            }
            char buffer[4096];
            const long got = receive(buffer, sizeof(buffer));
            if (got <= 0) {
                ::shutdown(s, kShutBoth);
                return;
            }
            input.append(buffer, static_cast<size_t>(got));
        }
        const std::string head = input.substr(0, headEnd);
        input.erase(0, headEnd + 4);

        HttpRecordedRequest request;
        size_t lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const size_t firstSpace = requestLine.find(' ');
        const size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        request.method = requestLine.substr(0, firstSpace);
        if (firstSpace != std::string::npos) {
            request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        }
        while (lineEnd != std::string::npos) {
            const size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            const std::string_view line = std::string_view(head).substr(
                start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            const size_t colon = line.find(':');
            if (colon != std::string_view::npos) {
                request.headers.emplace_back(std::string(Trim(line.substr(0, colon))),
                                             std::string(Trim(line.substr(colon + 1))));
            }
        }
        // A request body, if any, is read and dropped.
        uint64_t requestBody = std::strtoull(request.Header("Content-Length").c_str(), nullptr, 10);
        while (requestBody > 0) {
            if (input.empty()) {
                char buffer[4096];
                const long got = receive(buffer, sizeof(buffer));
                if (got <= 0) {
                    ::shutdown(s, kShutBoth);
                    return;
                }
                input.append(buffer, static_cast<size_t>(got));
            }
            const size_t drop = static_cast<size_t>(std::min<uint64_t>(requestBody, input.size()));
            input.erase(0, drop);
            requestBody -= drop;
        }

        // The route: an absolute URL as sent to a proxy counts by its path.
        std::string path = request.target.substr(0, request.target.find('?'));
        if (path.rfind("http://", 0) == 0) {
            const size_t slash = path.find('/', 7);
            path = slash == std::string::npos ? "/" : path.substr(slash);
        }
        const bool clientCloses = Lower(request.Header("Connection")) == "close";
        const bool headOnly = request.method == "HEAD";
        const HttpTestResponse response = Record(std::move(request), path);

        if (response.hang) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping; });
            lock.unlock();
            ::shutdown(s, kShutBoth);
            return;
        }

        std::ifstream file;
        uint64_t bodySize = response.body.size();
        if (response.generator) {
            bodySize = response.bodySize;
        } else if (!response.bodyFile.empty()) {
            file.open(std::filesystem::path(response.bodyFile), std::ios::binary | std::ios::ate);
            bodySize = file ? static_cast<uint64_t>(file.tellg()) : 0;
            file.seekg(0);
        }
        // Only an honest length lets the client find the next response on this connection.
        const bool keepAlive =
            !clientCloses && !response.omitContentLength && response.contentLength.empty();
        std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                          (response.reason.empty() ? Reason(response.status) : response.reason) +
                          "\r\n";
        for (const auto& [name, value] : response.headers) {
            out += name + ": " + value + "\r\n";
        }
        if (!response.omitContentLength) {
            out += "Content-Length: " +
                   (response.contentLength.empty() ? std::to_string(bodySize)
                                                   : response.contentLength) +
                   "\r\n";
        }
        out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";

        bool sent = sendAll(out.data(), out.size());
        if (sent && !headOnly && response.status != 304) {
            if (response.generator) {
                std::vector<char> chunk(kSendChunk);
                for (uint64_t offset = 0; sent && offset < bodySize;) {
                    const size_t n =
                        static_cast<size_t>(std::min<uint64_t>(kSendChunk, bodySize - offset));
                    response.generator(offset, chunk.data(), n);
                    sent = sendAll(chunk.data(), n);
                    offset += n;
                }
            } else if (file.is_open()) {
                std::vector<char> chunk(kSendChunk);
                while (sent && file) {
                    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                    const size_t n = static_cast<size_t>(file.gcount());
                    sent = n == 0 || sendAll(chunk.data(), n);
                }
            } else {
                sent = sendAll(response.body.data(), response.body.size());
            }
        }
        if (!sent || !keepAlive) {
            // A half close: the client reads all that was sent, then the end.
            ::shutdown(s, sent ? kShutWrite : kShutBoth);
            if (sent) {
                // Drain until the client closes, so that no reset overtakes the data.
                char buffer[4096];
                while (receive(buffer, sizeof(buffer)) > 0) {
                }
            }
            return;
        }
    }
}

}  // namespace testing_support
