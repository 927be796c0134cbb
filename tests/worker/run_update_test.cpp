// The update procedure end to end on a worker thread: real packages from a loopback server, a real
// extraction and installation into a temporary client folder, and every message that a stand-in
// dialog window receives, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/window.h"
#include "support/http_test_server.h"
#include "support/test_files.h"
#include "support/zip_builder.h"
#include "worker/work_thread.h"

using namespace platform;
using testing_support::HttpTestResponse;
using testing_support::HttpTestServer;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

namespace {

constexpr unsigned kWorkerEnded = WM_USER + 77;

struct Received {
    unsigned message;
    WParam wParam;
    LParam lParam;
    std::wstring text;  // WM_UPDATE_STATUS only
};

// Stands in for the update dialog: records the worker's messages.
class ReportWindow : public Window {
  public:
    std::vector<Received> m_received;
    bool m_ended = false;
    // Called for each worker message after it is recorded (for example to destroy the window).
    std::function<void(ReportWindow&, const Received&)> m_onMessage;

    LResult WindowProc(unsigned m, WParam w, LParam l) override {
        if (m == kWorkerEnded) {
            m_ended = true;
            return 0;
        }
        if (m >= WM_UPDATE_STATUS && m <= WM_UPDATE_RETRY) {
            Received r{m, w, l, {}};
            if (m == WM_UPDATE_STATUS && l != 0)
                r.text = reinterpret_cast<const wchar_t*>(l);
            m_received.push_back(r);
            if (m_onMessage)
                m_onMessage(*this, r);
            // A sent message is handled inside the wait for the next posted one; this brings the
            // test's loop round to look at what arrived.
            Post(WM_NULL);
            return 0;
        }
        return DefaultProc(m, w, l);
    }

    std::vector<unsigned> Kinds(bool withProgress = false) const {
        std::vector<unsigned> out;
        for (const auto& r : m_received) {
            if (withProgress || r.message != WM_UPDATE_PROGRESS)
                out.push_back(r.message);
        }
        return out;
    }
    std::vector<Received> Progress() const {
        std::vector<Received> out;
        for (const auto& r : m_received) {
            if (r.message == WM_UPDATE_PROGRESS)
                out.push_back(r);
        }
        return out;
    }
    const Received& Last() const { return m_received.back(); }
    // The status messages in order, as (failed flag, text).
    std::vector<std::pair<WParam, std::wstring>> Statuses() const {
        std::vector<std::pair<WParam, std::wstring>> out;
        for (const auto& r : m_received) {
            if (r.message == WM_UPDATE_STATUS)
                out.emplace_back(r.wParam, r.text);
        }
        return out;
    }
    size_t Count(unsigned message) const {
        return static_cast<size_t>(
            std::count_if(m_received.begin(), m_received.end(),
                          [message](const Received& r) { return r.message == message; }));
    }
    // A run that got to the installation and finished it: 107 after the downloads, the completion
    // posted (it may arrive after the final status, which is sent), 108 with the flag clear.
    void ExpectSuccess() const {
        EXPECT_EQ(Statuses(), (std::vector<std::pair<WParam, std::wstring>>{
                                  {0, LoadLangString(107)}, {0, LoadLangString(108)}}));
        EXPECT_EQ(Count(WM_UPDATE_COMPLETE), 1u);
        EXPECT_EQ(Count(WM_UPDATE_FAILED), 0u);
    }
    // A run that failed after the downloads with text: no completion, no failure message.
    void ExpectFailedAfterDownload(const std::wstring& text) const {
        EXPECT_EQ(Statuses(), (std::vector<std::pair<WParam, std::wstring>>{
                                  {0, LoadLangString(107)}, {1, text}}));
        EXPECT_EQ(Count(WM_UPDATE_COMPLETE), 0u);
        EXPECT_EQ(Count(WM_UPDATE_FAILED), 0u);
    }
};

std::string Zip(std::initializer_list<std::pair<std::string, std::string>> files) {
    tqtest::ZipBuilder zip;
    for (const auto& [name, data] : files)
        zip.AddFile(name, data);
    return zip.Build();
}

tqString Narrow(const std::wstring& url) {
    return tqString(WideToAnsi(url).c_str());
}

class RunUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A failed installation may report a log it cannot open: never wait for a click.
        platform::SetUnattended(true);
        // Each test has its own temporary folder: package files and extraction folders land there.
        SetTempFolder(WideToUtf8(m_tmp.Path()));
        testing_support::MakeFolders(m_tmp / L"install");
        testing_support::WriteFileBytes(m_tmp / L"install/keep.txt", "old");
        g_des = m_tmp / L"install";
        g_lang = 0;
        g_restart_exe = L"NoSuchClientForTests.exe";
        theApp.m_updateUrls.clear();
        theApp.m_cmyUpdateUrls.clear();
        ASSERT_TRUE(m_window.Create(WindowSpec{L"", WS_POPUP, 0, {0, 0, 10, 10}, nullptr, 0}));
        SetUpdateDialogWindow(m_window.Handle());
    }
    void TearDown() override {
        WithdrawUpdateDialogWindow(m_window.Handle());
        m_window.Destroy();
        theApp.m_updateUrls.clear();
        theApp.m_cmyUpdateUrls.clear();
        SetTempFolder(m_oldTmp);
    }

    // The temporary folder comes from TMPDIR on Linux and TMP on Windows. putenv keeps the
    // strings, so they live as long as the process.
    static void SetTempFolder(const std::string& folder) {
        static std::list<std::string> kept;
        for (const char* name : {"TMPDIR", "TMP", "TEMP"}) {
            kept.push_back(std::string(name) + "=" + folder);
            putenv(kept.back().data());
        }
    }

    void Main(std::initializer_list<std::wstring> urls) {
        for (const auto& u : urls)
            theApp.m_updateUrls.push_back(Narrow(u));
    }
    void Company(std::initializer_list<std::wstring> urls) {
        for (const auto& u : urls)
            theApp.m_cmyUpdateUrls.push_back(Narrow(u));
    }

    // Runs job on a worker thread while this thread handles the window's messages, until the
    // worker's end notification has been delivered.
    void RunJob(int job = 1) {
        const WindowHandle window = m_window.Handle();
        std::thread worker([job, window] {
            {
                CInnerThread thread(job);
                thread.Run(0);
                thread.OnRunEnd();
            }
            // Tells this thread's loop that nothing more will come (unless the window is gone, in
            // which case the loop has stopped already).
            PostToWindow(window, kWorkerEnded);
        });
        Pump([this] { return m_window.m_ended || !m_window.Exists(); });
        worker.join();
    }

    template <typename Done>
    void Pump(Done done) {
        while (!done()) {
            Message msg;
            if (!WaitNextMessage(msg))
                break;
            if (!PreTranslate(msg))
                Dispatch(msg);
        }
    }

    std::vector<std::wstring> TempFiles() const {
        std::vector<std::wstring> out;
        for (const auto& e : ListFolder(m_tmp.Path())) {
            if (!e.IsFolder())
                out.push_back(e.name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::wstring Temp(const std::wstring& name) const { return m_tmp / name; }

    TempDir m_tmp;
    std::string m_oldTmp = WideToUtf8(TempFolder());
    HttpTestServer m_server;
    ReportWindow m_window;
};

const std::vector<unsigned> kUnavailable = {WM_UPDATE_FAILED, WM_UPDATE_STATUS};

TEST_F(RunUpdateTest, OnePackageIsDownloadedUnpackedAndInstalled) {
    const std::string package = Zip({{"a.txt", "new a"}, {"sub/b.txt", std::string(20000, 'b')}});
    m_server.Route("/main.zip", HttpTestResponse::Ok(package));
    Main({m_server.Url("/main.zip")});

    RunJob();

    m_window.ExpectSuccess();
    EXPECT_EQ(m_window.Statuses().front().second, L"下载成功，开始解压更新包...");
    // The download's progress runs against the package's own length, ending at all of it.
    const auto progress = m_window.Progress();
    ASSERT_FALSE(progress.empty());
    for (const auto& p : progress) {
        EXPECT_EQ(p.wParam, package.size());
    }
    EXPECT_EQ(progress.back().lParam, static_cast<LParam>(package.size()));
    for (size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i].lParam, progress[i - 1].lParam);
    }

    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/a.txt"), "new a");
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/sub/b.txt"), std::string(20000, 'b'));
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/keep.txt"), "old");
    // No sizing request; the package file is gone after its extraction.
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 1u);
    EXPECT_EQ(g_src_folder, Temp(L"tqupdate41"));
    for (const auto& name : TempFiles()) {
        EXPECT_FALSE(name.starts_with(L"upd")) << name;
    }
}

TEST_F(RunUpdateTest, CompanyPackageFollowsAndItsFilesWin) {
    const std::string mainPackage = Zip({{"a.txt", "main a"}, {"both.txt", "main"}});
    const std::string companyPackage = Zip({{"c.txt", "company c"}, {"both.txt", "company"}});
    m_server.Route("/main.zip", HttpTestResponse::Ok(mainPackage));
    m_server.Route("/cmy.zip", HttpTestResponse::Ok(companyPackage));
    Main({m_server.Url("/main.zip")});
    Company({m_server.Url("/cmy.zip")});

    RunJob();

    m_window.ExpectSuccess();
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/a.txt"), "main a");
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/c.txt"), "company c");
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/both.txt"), "company");
    // Sized first, then downloaded: two requests each.
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 2u);
    EXPECT_EQ(m_server.RequestCount("/cmy.zip"), 2u);
    // One progress scale across both downloads: 0 .. size1 + size2.
    const size_t total = mainPackage.size() + companyPackage.size();
    const auto progress = m_window.Progress();
    ASSERT_GE(progress.size(), 2u);
    for (const auto& p : progress) {
        EXPECT_EQ(p.wParam, total);
    }
    EXPECT_LE(progress.front().lParam, static_cast<LParam>(mainPackage.size()));
    EXPECT_EQ(progress.back().lParam, static_cast<LParam>(total));
    bool sawMainEnd = false;
    for (size_t i = 0; i < progress.size(); ++i) {
        if (progress[i].lParam == static_cast<LParam>(mainPackage.size()))
            sawMainEnd = true;
        if (i > 0) {
            EXPECT_GE(progress[i].lParam, progress[i - 1].lParam);
        }
    }
    EXPECT_TRUE(sawMainEnd);
    for (const auto& name : TempFiles()) {
        EXPECT_FALSE(name.starts_with(L"upd")) << name;
    }
}

TEST_F(RunUpdateTest, FailingFirstAddressIsAskedAgainForTheDownload) {
    m_server.Route("/bad.zip", HttpTestResponse::Status(404));
    m_server.Route("/main.zip", HttpTestResponse::Ok(Zip({{"a.txt", "a"}})));
    m_server.Route("/cmy.zip", HttpTestResponse::Ok(Zip({{"c.txt", "c"}})));
    Main({m_server.Url("/bad.zip"), m_server.Url("/main.zip")});
    Company({m_server.Url("/cmy.zip")});

    RunJob();

    m_window.ExpectSuccess();
    EXPECT_EQ(m_server.RequestCount("/bad.zip"), 2u);
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 2u);
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/a.txt"), "a");
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/c.txt"), "c");
}

TEST_F(RunUpdateTest, NoAddressAnswersTheSizing) {
    m_server.Route("/main.zip", HttpTestResponse::Status(500));
    m_server.Route("/cmy.zip", HttpTestResponse::Ok(Zip({{"c.txt", "c"}})));
    Main({m_server.Url("/main.zip"),
          L"http://127.0.0.1:" + ToWString(HttpTestServer::ClosedPort()) + L"/x.zip"});
    Company({m_server.Url("/cmy.zip")});

    RunJob();

    ASSERT_EQ(m_window.Kinds(), kUnavailable);
    EXPECT_EQ(m_window.Last().wParam, 1u);
    EXPECT_EQ(m_window.Last().text, LoadLangString(113));
    // Only the sizing request of the main list; no download, nothing unpacked.
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 1u);
    EXPECT_EQ(m_server.RequestCount("/cmy.zip"), 0u);
    EXPECT_FALSE(Exists(Temp(L"tqupdate41")));
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/keep.txt"), "old");
}

TEST_F(RunUpdateTest, MainDeliveredButNoCompanyAddressDownloads) {
    const std::string mainPackage = Zip({{"a.txt", "a"}});
    m_server.Route("/main.zip", HttpTestResponse::Ok(mainPackage));
    m_server.Route("/cmy1.zip",
                   std::vector<HttpTestResponse>{HttpTestResponse::Ok(Zip({{"c.txt", "c"}})),
                                                 HttpTestResponse::Status(503)});
    m_server.Route("/cmy2.zip", HttpTestResponse::Status(404));
    Main({m_server.Url("/main.zip")});
    Company({m_server.Url("/cmy1.zip"), m_server.Url("/cmy2.zip")});

    RunJob();

    ASSERT_EQ(m_window.Kinds(), kUnavailable);
    EXPECT_EQ(m_window.Last().wParam, 1u);
    EXPECT_EQ(m_window.Last().text, LoadLangString(113));
    EXPECT_EQ(m_server.RequestCount("/cmy2.zip"), 1u);
    // The main package file was written and stays; nothing was unpacked.
    bool foundMain = false;
    for (const auto& name : TempFiles()) {
        if (name.starts_with(L"upd") && ReadFileBytes(Temp(name)) == mainPackage)
            foundMain = true;
    }
    EXPECT_TRUE(foundMain);
    EXPECT_FALSE(Exists(Temp(L"tqupdate41")));
}

TEST_F(RunUpdateTest, DownloadWithoutLengthLeavesAnEmptyPackageThatFailsToExtract) {
    m_server.Route("/main.zip", HttpTestResponse::Ok(Zip({{"a.txt", "a"}})).WithoutContentLength());
    Main({m_server.Url("/main.zip")});

    RunJob();

    m_window.ExpectFailedAfterDownload(L"Failed to extract update package");
    const auto files = TempFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(Temp(files[0])), "");
    EXPECT_FALSE(Exists(m_tmp / L"install/a.txt"));
}

TEST_F(RunUpdateTest, CorruptPackageLeavesPackageAndExtractionFolder) {
    tqtest::ZipBuilder zip;
    zip.AddFile("first.txt", "fine", tqtest::kZipStored);
    zip.AddFile("second.txt", std::string(5000, 's'));
    tqtest::ZipLayout layout;
    std::string bytes = zip.Build(&layout);
    // Damage the second entry's data: the first is unpacked, the second fails.
    bytes[layout.data[1] + 10] ^= 0x55;
    bytes[layout.data[1] + 11] ^= 0x55;
    m_server.Route("/main.zip", HttpTestResponse::Ok(bytes));
    Main({m_server.Url("/main.zip")});

    RunJob();

    m_window.ExpectFailedAfterDownload(L"Failed to extract update package");
    const auto files = TempFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(Temp(files[0])), bytes);
    EXPECT_TRUE(IsFolder(Temp(L"tqupdate41")));
    EXPECT_EQ(ReadFileBytes(Temp(L"tqupdate41/first.txt")), "fine");
    EXPECT_FALSE(Exists(m_tmp / L"install/first.txt"));
}

TEST_F(RunUpdateTest, TakenExtractionFolderNameIsSkipped) {
    testing_support::MakeFolders(Temp(L"tqupdate41"));
    m_server.Route("/main.zip", HttpTestResponse::Ok(Zip({{"a.txt", "a"}})));
    Main({m_server.Url("/main.zip")});

    RunJob();

    m_window.ExpectSuccess();
    EXPECT_EQ(g_src_folder, Temp(L"tqupdate18467"));
    EXPECT_TRUE(IsFolder(Temp(L"tqupdate41")));
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/a.txt"), "a");
}

TEST_F(RunUpdateTest, InstallationFailureIsReportedWithItsText) {
    // The client folder is a file: nothing can be copied into it.
    testing_support::WriteFileBytes(m_tmp / L"notafolder", "x");
    g_des = m_tmp / L"notafolder";
    m_server.Route("/main.zip", HttpTestResponse::Ok(Zip({{"a.txt", "a"}})));
    Main({m_server.Url("/main.zip")});

    RunJob();

    ASSERT_EQ(m_window.Statuses().size(), 2u);
    const std::wstring error = m_window.Statuses().back().second;
    EXPECT_FALSE(error.empty());
    m_window.ExpectFailedAfterDownload(error);
    EXPECT_EQ(ReadFileBytes(m_tmp / L"notafolder"), "x");
}

TEST_F(RunUpdateTest, WorkerOutlivingTheDialogWindowSendsNothingAndFinishes) {
    m_server.Route("/main.zip", HttpTestResponse::Ok(Zip({{"a.txt", std::string(100000, 'a')}})));
    Main({m_server.Url("/main.zip")});
    const WindowHandle handle = m_window.Handle();
    m_window.m_onMessage = [](ReportWindow& w, const Received&) { w.Destroy(); };

    RunJob();

    // One message reached the window before it went; the run still finished the installation.
    EXPECT_EQ(m_window.m_received.size(), 1u);
    EXPECT_FALSE(IsWindowAlive(handle));
    EXPECT_EQ(ReadFileBytes(m_tmp / L"install/a.txt"), std::string(100000, 'a'));
}

TEST_F(RunUpdateTest, StartedWorkerWithoutHandlerEndsWithAnEmptyStatus) {
    // Through the runtime's thread base, as the dialog starts workers.
    StartWorker(2);
    Pump([this] { return !m_window.m_received.empty(); });
    EXPECT_EQ(m_window.Kinds(true), (std::vector<unsigned>{WM_UPDATE_STATUS}));
    EXPECT_EQ(m_window.Statuses(), (std::vector<std::pair<WParam, std::wstring>>{{0, L""}}));
}

TEST(WorkerProgress, PostsOnlyToAPublishedLiveWindow) {
    struct Counter : Window {
        std::vector<std::pair<WParam, LParam>> got;
        LResult WindowProc(unsigned m, WParam w, LParam l) override {
            if (m == WM_UPDATE_PROGRESS)
                got.emplace_back(w, l);
            return DefaultProc(m, w, l);
        }
    } window;
    ASSERT_TRUE(window.Create(WindowSpec{L"", WS_POPUP, 0, {0, 0, 1, 1}, nullptr, 0}));
    DownloadProgressCallback(10, 1);  // nothing published yet
    SetUpdateDialogWindow(window.Handle());
    DownloadProgressCallback(-1, 5);  // the total travels as unsigned 32 bits
    WithdrawUpdateDialogWindow(reinterpret_cast<WindowHandle>(0x1));  // not the published one
    DownloadProgressCallback(3, 2);
    WithdrawUpdateDialogWindow(window.Handle());
    DownloadProgressCallback(3, 3);
    ProcessPendingMessages();
    EXPECT_EQ(window.got, (std::vector<std::pair<WParam, LParam>>{{0xFFFFFFFFu, 5}, {3, 2}}));
    EXPECT_EQ(UpdateDialogWindow(), nullptr);
}

}  // namespace
