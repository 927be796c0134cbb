// The update procedure, run on a worker thread: fetch the main package (and the company package
// when scripts gave addresses for one) from the first address that delivers it, unpack into a
// fresh extraction folder, install, and report through the status text, the failed flag and the
// dialog's messages. Package files are removed only after their own successful extraction; on
// every failure what was fetched and unpacked stays where it is.
#include <bitset>
#include <climits>
#include <list>
#include <memory>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "net/http_download.h"
#include "platform/crt_rand.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "worker/work_thread.h"
#include "zip/extract_package.h"

namespace {

constexpr wchar_t kExtractFailed[] = L"Failed to extract update package";
constexpr int kNameCount = 32768;

void SendToDialog(unsigned message, platform::WParam wParam, platform::LParam lParam) {
    platform::WindowHandle window = UpdateDialogWindow();
    if (window != nullptr) {
        platform::SendToWindow(window, message, wParam, lParam);
    }
}

void PostToDialog(unsigned message) {
    platform::WindowHandle window = UpdateDialogWindow();
    if (window != nullptr) {
        platform::PostToWindow(window, message, 0, 0);
    }
}

// The first size above 0 that an address of the list answers, in list order; 0 when none does.
int SizeOfPackage(const std::list<tqString>& urls) {
    for (const tqString& url : urls) {
        int size = GetRemoteFileSize(platform::AnsiToWide(url.c_str()));
        if (size > 0) {
            return size;
        }
    }
    return 0;
}

// Downloads from the first address that delivers, always starting with the first address.
bool DownloadPackage(const std::list<tqString>& urls, const std::wstring& target, int total,
                     int offset) {
    for (const tqString& url : urls) {
        CHttpDownload download;
        if (download.Download(platform::AnsiToWide(url.c_str()), target, DownloadProgressCallback,
                              total, offset)) {
            return true;
        }
    }
    return false;
}

// "<temp>tqupdate<n>" for the first number of this thread's generator that names nothing yet;
// empty when all 32768 names are taken.
std::wstring ChooseExtractionFolder(const std::wstring& temp) {
    auto seen = std::make_unique<std::bitset<kNameCount>>();
    size_t seenCount = 0;
    while (seenCount < kNameCount) {
        int number = platform::CrtRand();
        std::wstring candidate = temp + L"tqupdate" + std::to_wstring(number);
        if (!platform::Exists(candidate)) {
            return candidate;
        }
        if (!seen->test(static_cast<size_t>(number))) {
            seen->set(static_cast<size_t>(number));
            ++seenCount;
        }
    }
    return {};
}

// Extraction errors arrive as exceptions (damaged archive, file system); each is the failure of
// this step.
bool Extract(const std::wstring& package, const std::wstring& destination) {
    if (destination.empty()) {
        return false;
    }
    try {
        return ExtractPackage(package, destination);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool CInnerThread::RunUpdate(int) {
    const std::wstring temp = platform::TempFolder();
    const bool hasCompany = !theApp.m_cmyUpdateUrls.empty();
    const std::wstring mainPackage = platform::CreateTempFile(temp, L"upd");
    std::wstring companyPackage;
    int size1 = 0;
    int total = -1;

    auto noAddressWorks = [this] {
        m_bFailed = true;
        m_strStatus = LoadLangString(113);
        SendToDialog(WM_UPDATE_FAILED, 0, 0);
        return false;
    };

    if (hasCompany) {
        companyPackage = platform::CreateTempFile(temp, L"updRS");
        size1 = SizeOfPackage(theApp.m_updateUrls);
        if (size1 <= 0) {
            return noAddressWorks();
        }
        const int size2 = SizeOfPackage(theApp.m_cmyUpdateUrls);
        if (size2 <= 0) {
            return noAddressWorks();
        }
        // Two packages of more than 2 GB together cannot share one int total: each is then
        // reported against its own length instead of wrapping into a negative total.
        const long long sum = static_cast<long long>(size1) + size2;
        total = sum <= INT_MAX ? static_cast<int>(sum) : -1;
    }

    if (!DownloadPackage(theApp.m_updateUrls, mainPackage, total, 0)) {
        return noAddressWorks();
    }
    if (hasCompany &&
        !DownloadPackage(theApp.m_cmyUpdateUrls, companyPackage, total, total == -1 ? 0 : size1)) {
        return noAddressWorks();
    }

    const std::wstring downloaded = LoadLangString(107);
    SendToDialog(WM_UPDATE_STATUS, 0, reinterpret_cast<platform::LParam>(downloaded.c_str()));
    tqSleep(1000);

    g_src_folder = ChooseExtractionFolder(temp);
    if (!Extract(mainPackage, g_src_folder)) {
        m_bFailed = true;
        m_strStatus = kExtractFailed;
        return false;
    }
    platform::RemoveFile(mainPackage);
    if (hasCompany) {
        if (!Extract(companyPackage, g_src_folder)) {
            m_bFailed = true;
            m_strStatus = kExtractFailed;
            return false;
        }
        platform::RemoveFile(companyPackage);
    }

    std::wstring error;
    try {
        error = theApp.PerformStep(2);
    } catch (...) {
        error = L"Failed to copy file, destination: " + g_des;
    }
    if (!error.empty()) {
        m_bFailed = true;
        m_strStatus = error;
        return false;
    }
    m_strStatus = LoadLangString(108);
    PostToDialog(WM_UPDATE_COMPLETE);
    return false;
}
