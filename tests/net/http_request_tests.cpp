// The platform's HTTP request: the response values as text and the body in bounded pieces.
#include "platform/http.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_test_server.h"

namespace {

using testing_support::HttpTestResponse;
using testing_support::HttpTestServer;

constexpr uint32_t kFlags =
    platform::kHttpFlagReload | platform::kHttpFlagNoCacheWrite | platform::kHttpFlagTransferBinary;

char PatternByte(uint64_t offset) {
    return static_cast<char>((offset * 13 + offset / 509) & 0xFF);
}

TEST(HttpRequestTest, ReadsTheBodyInPiecesNoLargerThanAsked) {
    HttpTestServer server;
    constexpr uint64_t kSize = 300000;
    server.Route("/big",
                 HttpTestResponse::Generated(kSize, [](uint64_t offset, char* out, size_t size) {
                     for (size_t i = 0; i < size; ++i) {
                         out[i] = PatternByte(offset + i);
                     }
                 }));

    platform::HttpSession session(platform::HttpSessionSettings{});
    platform::HttpRequest request = session.OpenUrl(server.Url("/big"), kFlags);
    EXPECT_EQ(request.QueryInfo(platform::HttpInfo::kStatusCode), L"200");
    EXPECT_EQ(request.QueryInfo(platform::HttpInfo::kContentLength), L"300000");

    const size_t sizes[] = {1, 7, 1000, 8192, 20000, 65536};
    std::vector<char> buffer(65536);
    uint64_t received = 0;
    size_t mismatches = 0;
    for (size_t turn = 0;; ++turn) {
        const size_t asked = sizes[turn % std::size(sizes)];
        const size_t got = request.Read(buffer.data(), asked);
        ASSERT_LE(got, asked);
        if (got == 0) {
            break;
        }
        for (size_t i = 0; i < got; ++i) {
            mismatches += buffer[i] != PatternByte(received + i) ? 1 : 0;
        }
        received += got;
    }
    EXPECT_EQ(received, kSize);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(request.Read(buffer.data(), buffer.size()), 0u);
    EXPECT_EQ(request.Read(buffer.data(), 0), 0u);
}

TEST(HttpRequestTest, HandsOverResponseValuesAsTheServerSentThem) {
    HttpTestServer server;
    server.Route("/odd", HttpTestResponse::Ok("0123456789abcdef").WithContentLength("12abc"));
    server.Route("/none", HttpTestResponse::Ok("body").WithoutContentLength());
    server.Route("/gone", HttpTestResponse::Status(404, "missing"));

    platform::HttpSession session(platform::HttpSessionSettings{});
    {
        platform::HttpRequest request = session.OpenUrl(server.Url("/odd"), kFlags);
        EXPECT_EQ(request.QueryInfo(platform::HttpInfo::kContentLength), L"12abc");
        // The body still ends at the length's leading digits.
        char buffer[64];
        size_t total = 0;
        while (size_t got = request.Read(buffer + total, sizeof(buffer) - total)) {
            total += got;
        }
        EXPECT_EQ(std::string(buffer, total), "0123456789ab");
    }
    {
        platform::HttpRequest request = session.OpenUrl(server.Url("/none"), kFlags);
        EXPECT_EQ(request.QueryInfo(platform::HttpInfo::kContentLength), L"");
    }
    {
        platform::HttpRequest request = session.OpenUrl(server.Url("/gone"), kFlags);
        EXPECT_EQ(request.QueryInfo(platform::HttpInfo::kStatusCode), L"404");
    }
}

TEST(HttpRequestTest, ThrowsWhenNothingListens) {
    platform::HttpSession session(platform::HttpSessionSettings{});
    const std::wstring url =
        L"http://127.0.0.1:" + std::to_wstring(HttpTestServer::ClosedPort()) + L"/";
    EXPECT_THROW(session.OpenUrl(url, kFlags), platform::HttpException);
}

}  // namespace
