// The size query and the download against a loopback server that answers well and badly.
#include "net/http_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "support/http_test_server.h"
#include "support/test_files.h"

namespace {

using testing_support::HttpTestResponse;
using testing_support::HttpTestServer;

const std::string kOldContent = "content from before the download";

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

std::vector<std::pair<int, int>> g_progress;

void RecordProgress(int total, int done) {
    g_progress.emplace_back(total, done);
}

HttpTestResponse ProxyAuthRequired() {
    return HttpTestResponse::Status(407, "credentials, please")
        .Header("Proxy-Authenticate", "Basic realm=\"proxy\"");
}

class HttpDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::WriteFileBytes(m_target, kOldContent);
        g_progress.clear();
    }

    bool Download(const std::wstring& url, int total = -1, int offset = 0) {
        CHttpDownload download;
        return download.Download(url, m_target, &RecordProgress, total, offset);
    }

    // The names in the target's folder: a failed download leaves nothing beside the target.
    std::vector<std::wstring> FolderNames() const {
        std::vector<std::wstring> names;
        for (const auto& entry : platform::ListFolder(m_dir.Path())) {
            names.push_back(entry.name);
        }
        return names;
    }

    HttpTestServer m_server;
    testing_support::TempDir m_dir;
    std::wstring m_target = m_dir / L"package.zip";
};

struct ResponseCase {
    const char* name;
    std::vector<HttpTestResponse> responses;
    int size;             // what the size query answers
    bool downloaded;      // what the download answers
    std::string content;  // the target afterwards; kOldContent when untouched
};

std::vector<ResponseCase> ResponseCases() {
    const std::string body = Bytes(300);
    return {
        {"200", {HttpTestResponse::Ok(body)}, 300, true, body},
        {"200 over many reads", {HttpTestResponse::Ok(Bytes(100000))}, 100000, true, Bytes(100000)},
        {"no Content-Length",
         {HttpTestResponse::Ok(body).WithoutContentLength()},
         0,
         true,
         kOldContent},
        {"Content-Length 0", {HttpTestResponse::Ok("")}, 0, true, kOldContent},
        {"Content-Length 12abc",
         {HttpTestResponse::Ok(body).WithContentLength("12abc")},
         12,
         true,
         body.substr(0, 12)},
        {"Content-Length abc",
         {HttpTestResponse::Ok(body).WithContentLength("abc")},
         0,
         true,
         kOldContent},
        {"negative Content-Length",
         {HttpTestResponse::Ok(body).WithContentLength("-5")},
         -1,
         false,
         kOldContent},
        {"Content-Length beyond an int",
         {HttpTestResponse::Ok(body).WithContentLength("3000000000")},
         -1,
         false,
         kOldContent},
        // 2^32 + 100 would wrap to 100 in a 32-bit conversion.
        {"Content-Length wrapping to a small int",
         {HttpTestResponse::Ok(body).WithContentLength("4294967396")},
         -1,
         false,
         kOldContent},
        {"body shorter than Content-Length",
         {HttpTestResponse::Ok(Bytes(100)).WithContentLength("300")},
         300,
         false,
         kOldContent},
        {"body longer than Content-Length",
         {HttpTestResponse::Ok(body).WithContentLength("100")},
         100,
         true,
         body.substr(0, 100)},
        {"206", {HttpTestResponse::Status(206, body)}, -1, false, kOldContent},
        {"304", {HttpTestResponse::Status(304)}, -1, false, kOldContent},
        {"404", {HttpTestResponse::Status(404, "missing")}, -1, false, kOldContent},
        {"500", {HttpTestResponse::Status(500, "broken")}, -1, false, kOldContent},
        {"407 then 200", {ProxyAuthRequired(), HttpTestResponse::Ok(body)}, 300, true, body},
        {"407 twice", {ProxyAuthRequired(), ProxyAuthRequired()}, -1, false, kOldContent},
        {"redirect", {HttpTestResponse::Redirect(302, "/landing")}, 300, true, body},
    };
}

TEST_F(HttpDownloadTest, AnswersEveryKindOfResponseAndKeepsTheTargetOnFailure) {
    m_server.Route("/landing", HttpTestResponse::Ok(Bytes(300)));
    const std::vector<ResponseCase> cases = ResponseCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const ResponseCase& c = cases[i];
        SCOPED_TRACE(c.name);
        // Separate paths, so that each operation sees the response sequence from its start.
        const std::string path = "/" + std::to_string(i);
        m_server.Route(path + "/size", c.responses);
        m_server.Route(path + "/get", c.responses);
        testing_support::WriteFileBytes(m_target, kOldContent);

        EXPECT_EQ(GetRemoteFileSize(m_server.Url(path + "/size")), c.size);
        EXPECT_EQ(Download(m_server.Url(path + "/get")), c.downloaded);
        EXPECT_EQ(testing_support::ReadFileBytes(m_target), c.content);
        EXPECT_EQ(FolderNames(), std::vector<std::wstring>{L"package.zip"});
    }
}

TEST_F(HttpDownloadTest, RetriesOnceAfter407) {
    // Without a challenge the HTTP layer adds no authentication attempt of its own (WinINet
    // answers a Basic challenge itself once credentials are set), so the count is ours alone.
    const HttpTestResponse noChallenge = HttpTestResponse::Status(407, "credentials, please");
    m_server.Route("/once", {noChallenge, HttpTestResponse::Ok("ok")});
    m_server.Route("/always", noChallenge);

    EXPECT_TRUE(Download(m_server.Url("/once")));
    EXPECT_EQ(m_server.RequestCount("/once"), 2u);

    EXPECT_FALSE(Download(m_server.Url("/always")));
    EXPECT_EQ(m_server.RequestCount("/always"), 2u);
}

TEST_F(HttpDownloadTest, GetsThroughAProxyThatAsksForCredentials) {
    if (!HttpTestServer::CanActAsSystemProxy()) {
        GTEST_SKIP() << "the system proxy cannot be pointed at the test server here";
    }
    const auto proxy = m_server.ActAsSystemProxy();
    const std::string body = Bytes(300);
    m_server.Route("/size.zip", {ProxyAuthRequired(), HttpTestResponse::Ok(body)});
    m_server.Route("/package.zip", {ProxyAuthRequired(), HttpTestResponse::Ok(body)});
    m_server.Route("/refused.zip", ProxyAuthRequired());

    EXPECT_EQ(GetRemoteFileSize(L"http://updates.invalid/size.zip"), 300);
    EXPECT_TRUE(Download(L"http://updates.invalid/package.zip"));
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), body);
    const auto requests = m_server.Requests("/package.zip");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Host"), "updates.invalid");

    EXPECT_FALSE(Download(L"http://updates.invalid/refused.zip"));
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), body);
}

TEST_F(HttpDownloadTest, SendsAPlainGet) {
    m_server.Route("/file", HttpTestResponse::Ok("data"));
    ASSERT_TRUE(Download(m_server.Url("/file")));
    const auto requests = m_server.Requests("/file");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/file");
    EXPECT_FALSE(requests[0].HasHeader("Range"));
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
}

TEST_F(HttpDownloadTest, ReportsProgressOfTheFileAlone) {
    const std::string body = Bytes(20000);
    m_server.Route("/file", HttpTestResponse::Ok(body));
    ASSERT_TRUE(Download(m_server.Url("/file")));

    ASSERT_GE(g_progress.size(), 3u);  // reads are capped at 8192 bytes
    int previous = 0;
    for (const auto& [total, done] : g_progress) {
        EXPECT_EQ(total, 20000);
        EXPECT_GT(done, previous);
        EXPECT_LE(done - previous, 8192);
        previous = done;
    }
    EXPECT_EQ(g_progress.back().second, 20000);
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), body);
}

TEST_F(HttpDownloadTest, ReportsProgressWithinALargerTransfer) {
    m_server.Route("/file", HttpTestResponse::Ok(Bytes(200)));
    ASSERT_TRUE(Download(m_server.Url("/file"), 300, 100));

    ASSERT_FALSE(g_progress.empty());
    int previous = 100;
    for (const auto& [total, done] : g_progress) {
        EXPECT_EQ(total, 300);
        EXPECT_GT(done, previous);
        previous = done;
    }
    EXPECT_EQ(g_progress.back().second, 300);
}

TEST_F(HttpDownloadTest, ReportsNoProgressWithoutABody) {
    m_server.Route("/empty", HttpTestResponse::Ok("").WithoutContentLength());
    EXPECT_TRUE(Download(m_server.Url("/empty")));
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(HttpDownloadTest, FailsWhenNothingListens) {
    const std::wstring url =
        L"http://127.0.0.1:" + std::to_wstring(HttpTestServer::ClosedPort()) + L"/file";
    EXPECT_EQ(GetRemoteFileSize(url), -1);
    EXPECT_FALSE(Download(url));
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), kOldContent);
}

TEST_F(HttpDownloadTest, FailsWhenTheServerHangsUpWithoutAnswering) {
    m_server.Route("/silent", HttpTestResponse::Hang());
    bool downloaded = true;
    std::thread client([&] { downloaded = Download(m_server.Url("/silent")); });
    ASSERT_TRUE(m_server.WaitForRequests("/silent", 1));
    m_server.Stop();
    client.join();
    EXPECT_FALSE(downloaded);
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), kOldContent);
}

TEST_F(HttpDownloadTest, FailsWhenTheTargetCannotBeWritten) {
    m_server.Route("/file", HttpTestResponse::Ok(Bytes(300)));

    SCOPED_TRACE("a folder in the target's place");
    const std::wstring folder = m_dir / L"folder.zip";
    ASSERT_TRUE(platform::CreateFolder(folder));
    {
        CHttpDownload download;
        EXPECT_FALSE(download.Download(m_server.Url("/file"), folder, &RecordProgress, -1, 0));
    }
    EXPECT_TRUE(platform::IsFolder(folder));

    SCOPED_TRACE("the target's folder is missing");
    const std::wstring missing = m_dir / L"missing/package.zip";
    {
        CHttpDownload download;
        EXPECT_FALSE(download.Download(m_server.Url("/file"), missing, &RecordProgress, -1, 0));
    }
    EXPECT_FALSE(platform::Exists(m_dir / L"missing"));

    SCOPED_TRACE("a read-only target");
    ASSERT_TRUE(platform::SetAttributes(m_target, platform::kAttrReadOnly));
    EXPECT_FALSE(Download(m_server.Url("/file")));
    ASSERT_TRUE(platform::SetAttributes(m_target, platform::kAttrNormal));
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), kOldContent);

    auto names = FolderNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"folder.zip", L"package.zip"}));
}

TEST_F(HttpDownloadTest, ReplacesTheTargetWhole) {
    // A shorter download must not leave the tail of the older, longer content behind.
    testing_support::WriteFileBytes(m_target, Bytes(5000));
    m_server.Route("/file", HttpTestResponse::Ok("new"));
    ASSERT_TRUE(Download(m_server.Url("/file")));
    EXPECT_EQ(testing_support::ReadFileBytes(m_target), "new");
}

}  // namespace
