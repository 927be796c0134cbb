// The update procedure on a real worker thread against the loopback test server, with real
// packages and a real installation folder. A window of the test thread stands in for the dialog
// and records every message in the order it arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/window.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/test_files.h"
#include "support/zip_builder.h"
#include "worker/work_thread.h"

namespace {

using testing_support::HttpTestResponse;
using testing_support::HttpTestServer;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

constexpr wchar_t kSep = platform::kPathSep;

struct Received {
    unsigned message;
    platform::WParam wParam;
    platform::LParam lParam;
    std::wstring text;  // WM_UPDATE_STATUS only
};

class Recorder : public platform::Window {
  public:
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override {
        if (message >= WM_UPDATE_STATUS && message <= WM_UPDATE_RETRY) {
            Received r{message, wParam, lParam, {}};
            if (message == WM_UPDATE_STATUS && lParam != 0) {
                r.text = reinterpret_cast<const wchar_t*>(lParam);
            }
            m_received.push_back(r);
            return 0;
        }
        return Window::WindowProc(message, wParam, lParam);
    }
    std::vector<Received> m_received;
};

std::string Package(std::initializer_list<std::pair<std::string, std::string>> files) {
    tqtest::ZipBuilder builder;
    for (const auto& [name, data] : files) {
        builder.AddFile(name, data);
    }
    return builder.Build();
}

class RunUpdateTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::SetUnattended(true);
        m_temp = m_root / L"temp";
        m_install = m_root / L"Client";
        testing_support::MakeFolders(m_temp);
        WriteFileBytes(m_install + kSep + L"old.txt", "old");
        WriteFileBytes(m_install + kSep + L"KData" + kSep + L"k.dat", "cache");
        for (const char* name : {"TMPDIR", "TMP", "TEMP"}) {
            testing_support::SetEnv(name, m_temp + kSep);
        }
        g_des = m_install;
        g_restart_exe = L"client-not-running.exe";
        g_src_folder.clear();
        theApp.m_updateUrls.clear();
        theApp.m_cmyUpdateUrls.clear();
        ASSERT_TRUE(m_window.Create(platform::WindowSpec{L"recorder"}));
        SetUpdateDialogWindow(m_window.Handle());
    }
    void TearDown() override {
        WithdrawUpdateDialogWindow(m_window.Handle());
        m_window.Destroy();
        theApp.m_updateUrls.clear();
        theApp.m_cmyUpdateUrls.clear();
    }

    void AddMain(const std::string& path) {
        theApp.m_updateUrls.emplace_back(platform::WideToAnsi(m_server.Url(path)).c_str());
    }
    void AddCompany(const std::string& path) {
        theApp.m_cmyUpdateUrls.emplace_back(platform::WideToAnsi(m_server.Url(path)).c_str());
    }

    // Starts a worker for job and handles messages until its final status has arrived, then
    // whatever it posted before.
    void RunWorker(int job = 1) {
        StartWorker(job);
        const std::wstring downloaded = LoadLangString(107);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        auto finished = [&] {
            for (const Received& r : m_window.m_received) {
                if (r.message == WM_UPDATE_STATUS && r.text != downloaded) {
                    return true;
                }
            }
            return false;
        };
        while (!finished() && std::chrono::steady_clock::now() < deadline) {
            if (platform::ProcessPendingMessages() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        ASSERT_TRUE(finished()) << "the worker did not end";
        // The completion is posted before the final status is sent; let it in.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform::ProcessPendingMessages();
    }

    std::vector<unsigned> Kinds(bool withProgress = false) const {
        std::vector<unsigned> kinds;
        for (const Received& r : m_window.m_received) {
            if (withProgress || r.message != WM_UPDATE_PROGRESS) {
                kinds.push_back(r.message);
            }
        }
        return kinds;
    }
    const Received& FinalStatus() const {
        for (auto it = m_window.m_received.rbegin(); it != m_window.m_received.rend(); ++it) {
            if (it->message == WM_UPDATE_STATUS) {
                return *it;
            }
        }
        static Received none{};
        return none;
    }
    std::vector<Received> Progress() const {
        std::vector<Received> progress;
        for (const Received& r : m_window.m_received) {
            if (r.message == WM_UPDATE_PROGRESS) {
                progress.push_back(r);
            }
        }
        return progress;
    }
    std::vector<std::wstring> TempNames() const {
        std::vector<std::wstring> names;
        for (const auto& e : platform::ListFolder(m_temp)) {
            names.push_back(e.name);
        }
        return names;
    }

    TempDir m_root;
    std::wstring m_temp, m_install;
    HttpTestServer m_server;
    Recorder m_window;
};

TEST_F(RunUpdateTest, OnePackageIsDownloadedUnpackedAndInstalled) {
    std::string package = Package({{"new.txt", "new"}, {"sub/deep.txt", "deep"}});
    m_server.Route("/pkg.zip", HttpTestResponse::Ok(package));
    AddMain("/pkg.zip");
    RunWorker();

    // Sent messages overtake posted ones, so the posted completion may follow the final status.
    std::vector<unsigned> kinds = Kinds();
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(kinds,
              (std::vector<unsigned>{WM_UPDATE_STATUS, WM_UPDATE_STATUS, WM_UPDATE_COMPLETE}));
    EXPECT_EQ(Kinds().front(), WM_UPDATE_STATUS);
    EXPECT_EQ(m_window.m_received.front().text, LoadLangString(107));
    EXPECT_EQ(FinalStatus().text, LoadLangString(108));
    EXPECT_EQ(FinalStatus().wParam, 0u);
    // Progress against the package's own length, ending at (len, len).
    auto progress = Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().wParam, package.size());
    EXPECT_EQ(static_cast<size_t>(progress.back().lParam), package.size());

    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"new.txt"), "new");
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"sub" + kSep + L"deep.txt"), "deep");
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"old.txt"), "old");
    EXPECT_FALSE(platform::Exists(m_install + kSep + L"KData"));
    EXPECT_EQ(g_src_folder, m_temp + kSep + L"tqupdate41");
    EXPECT_TRUE(TempNames().empty()) << "package file or extraction folder left behind";
    EXPECT_EQ(m_server.RequestCount("/pkg.zip"), 1u);  // no sizing without a company package
}

TEST_F(RunUpdateTest, CompanyPackageIsInstalledSecondAndProgressSpansBoth) {
    std::string main = Package({{"both.txt", "main"}, {"main.txt", "m"}});
    std::string company = Package({{"both.txt", "company"}, {"company.txt", "c"}});
    m_server.Route("/main.zip", HttpTestResponse::Ok(main));
    m_server.Route("/company.zip", HttpTestResponse::Ok(company));
    AddMain("/main.zip");
    AddCompany("/company.zip");
    RunWorker();

    EXPECT_EQ(FinalStatus().text, LoadLangString(108));
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"both.txt"), "company");
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"main.txt"), "m");
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"company.txt"), "c");
    auto progress = Progress();
    ASSERT_FALSE(progress.empty());
    const size_t total = main.size() + company.size();
    for (const Received& p : progress) {
        EXPECT_EQ(p.wParam, total);
    }
    EXPECT_EQ(static_cast<size_t>(progress.back().lParam), total);
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 2u);  // sized, then downloaded
    EXPECT_EQ(m_server.RequestCount("/company.zip"), 2u);
    EXPECT_TRUE(TempNames().empty());
}

TEST_F(RunUpdateTest, DownloadStartsAgainWithTheFirstAddress) {
    m_server.Route("/broken.zip", HttpTestResponse::Status(404));
    m_server.Route("/main.zip", HttpTestResponse::Ok(Package({{"a.txt", "a"}})));
    m_server.Route("/company.zip", HttpTestResponse::Ok(Package({{"b.txt", "b"}})));
    AddMain("/broken.zip");
    AddMain("/main.zip");
    AddCompany("/company.zip");
    RunWorker();
    EXPECT_EQ(FinalStatus().text, LoadLangString(108));
    EXPECT_EQ(m_server.RequestCount("/broken.zip"), 2u);
    EXPECT_EQ(m_server.RequestCount("/main.zip"), 2u);
}

TEST_F(RunUpdateTest, NoAddressAnswersTheSizing) {
    m_server.Route("/broken.zip", HttpTestResponse::Status(500));
    m_server.Route("/company.zip", HttpTestResponse::Ok(Package({{"b.txt", "b"}})));
    AddMain("/broken.zip");
    AddCompany("/company.zip");
    RunWorker();
    EXPECT_EQ(Kinds(true), (std::vector<unsigned>{WM_UPDATE_FAILED, WM_UPDATE_STATUS}));
    EXPECT_EQ(FinalStatus().wParam, 1u);
    EXPECT_EQ(FinalStatus().text, LoadLangString(113));
    EXPECT_EQ(m_server.RequestCount("/broken.zip"), 1u);
    EXPECT_EQ(m_server.RequestCount("/company.zip"), 0u);
}

TEST_F(RunUpdateTest, MainDeliveredButNoCompanyAddressWorks) {
    std::string main = Package({{"a.txt", "a"}});
    m_server.Route("/main.zip", HttpTestResponse::Ok(main));
    // Sized, then gone when the download comes.
    m_server.Route("/company.zip",
                   std::vector<HttpTestResponse>{HttpTestResponse::Ok(Package({{"b.txt", "b"}})),
                                                 HttpTestResponse::Status(404)});
    AddMain("/main.zip");
    AddCompany("/company.zip");
    RunWorker();
    std::vector<unsigned> kinds = Kinds();
    EXPECT_EQ(kinds, (std::vector<unsigned>{WM_UPDATE_FAILED, WM_UPDATE_STATUS}));
    EXPECT_EQ(FinalStatus().text, LoadLangString(113));
    EXPECT_FALSE(platform::Exists(m_install + kSep + L"a.txt"));
    // The main package file was written; nothing was unpacked.
    bool mainFileKept = false;
    for (const std::wstring& name : TempNames()) {
        EXPECT_EQ(name.find(L"tqupdate"), std::wstring::npos);
        mainFileKept = mainFileKept || ReadFileBytes(m_temp + kSep + name) == main;
    }
    EXPECT_TRUE(mainFileKept);
}

TEST_F(RunUpdateTest, ExtractionFailuresLeaveTheirFilesAndNeverComplete) {
    struct Case {
        const char* name;
        HttpTestResponse response;
    };
    const Case cases[] = {
        {"no Content-Length",
         HttpTestResponse::Ok(Package({{"a.txt", "a"}})).WithoutContentLength()},
        {"not an archive", HttpTestResponse::Ok("this is no zip archive")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_window.m_received.clear();
        m_server.Route("/pkg.zip", c.response);
        theApp.m_updateUrls.clear();
        AddMain("/pkg.zip");
        RunWorker();
        EXPECT_EQ(Kinds(), (std::vector<unsigned>{WM_UPDATE_STATUS, WM_UPDATE_STATUS}));
        EXPECT_EQ(FinalStatus().text, L"Failed to extract update package");
        EXPECT_EQ(FinalStatus().wParam, 1u);
        EXPECT_FALSE(platform::Exists(m_install + kSep + L"a.txt"));
        EXPECT_TRUE(platform::Exists(m_install + kSep + L"KData"));
        EXPECT_FALSE(TempNames().empty()) << "the package file stays";
    }
}

TEST_F(RunUpdateTest, ExistingExtractionFolderIsPassedOver) {
    WriteFileBytes(m_temp + kSep + L"tqupdate41" + kSep + L"left.txt", "earlier run");
    m_server.Route("/pkg.zip", HttpTestResponse::Ok(Package({{"a.txt", "a"}})));
    AddMain("/pkg.zip");
    RunWorker();
    EXPECT_EQ(FinalStatus().text, LoadLangString(108));
    EXPECT_EQ(g_src_folder, m_temp + kSep + L"tqupdate18467");
    EXPECT_EQ(ReadFileBytes(m_temp + kSep + L"tqupdate41" + kSep + L"left.txt"), "earlier run");
    EXPECT_FALSE(platform::Exists(m_install + kSep + L"left.txt"));
}

TEST_F(RunUpdateTest, InstallationFailureBecomesTheStatus) {
    g_des = m_root / L"missing/Client";
    m_server.Route("/pkg.zip", HttpTestResponse::Ok(Package({{"a.txt", "a"}})));
    AddMain("/pkg.zip");
    RunWorker();
    EXPECT_EQ(FinalStatus().text, L"Failed to copy file, destination: " + g_des);
    EXPECT_EQ(FinalStatus().wParam, 1u);
    for (const Received& r : m_window.m_received) {
        EXPECT_NE(r.message, WM_UPDATE_COMPLETE);
    }
    EXPECT_TRUE(platform::Exists(g_src_folder)) << "the extraction folder stays after a failure";
}

TEST_F(RunUpdateTest, WorkerOutlivingTheDialogSendsNothing) {
    m_server.Route("/pkg.zip", HttpTestResponse::Ok(Package({{"a.txt", "a"}})));
    AddMain("/pkg.zip");
    m_window.Destroy();  // the dialog is gone; its handle is still the published one
    StartWorker(1);
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return platform::Exists(m_install + kSep + L"a.txt") && TempNames().empty(); },
        60000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    platform::ProcessPendingMessages();
    EXPECT_TRUE(m_window.m_received.empty());
}

TEST_F(RunUpdateTest, JobWithoutHandlerEndsWithOneEmptyStatus) {
    RunWorker(2);
    ASSERT_EQ(m_window.m_received.size(), 1u);
    EXPECT_EQ(m_window.m_received[0].message, WM_UPDATE_STATUS);
    EXPECT_EQ(m_window.m_received[0].wParam, 0u);
    EXPECT_EQ(m_window.m_received[0].text, L"");
}

}  // namespace
