// The update procedure (job 1 of the worker): size the packages when a company package is wanted,
// download each package from the first address that delivers it, unpack them into a fresh
// extraction folder, install, and report through the status text, the failed flag and the
// dialog's messages. Runs on the worker thread; reads the address lists and settings, which
// nothing changes while a worker runs.
#include <cstdint>
#include <list>
#include <string>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "net/http_download.h"
#include "platform/crt_rand.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/window.h"
#include "runtime/tqbase.h"
#include "worker/work_thread.h"
#include "zip/extract_package.h"

namespace {

constexpr const wchar_t* kExtractFailed = L"Failed to extract update package";
constexpr const wchar_t* kInstallFailed = L"Failed to copy file";
constexpr int kStringDownloaded = 107;
constexpr int kStringDone = 108;
constexpr int kStringNoAddress = 113;
// Every value the generator can give, four times over: past that no free name will come.
constexpr int kMaxFolderCandidates = 4 * 32768;

std::wstring Wide(const tqString& text) {
    return platform::AnsiToWide(std::string_view(text.c_str(), text.size()));
}

void SendToDialog(unsigned message, platform::WParam wParam, platform::LParam lParam) {
    if (const platform::WindowHandle window = UpdateDialogWindow()) {
        platform::SendToWindow(window, message, wParam, lParam);
    }
}

void PostToDialog(unsigned message) {
    if (const platform::WindowHandle window = UpdateDialogWindow()) {
        platform::PostToWindow(window, message, 0, 0);
    }
}

// The first size greater than 0 that an address of the list answers; 0 when none does.
int SizePackage(const std::list<tqString>& urls) {
    for (const tqString& url : urls) {
        int size = -1;
        try {
            size = GetRemoteFileSize(Wide(url));
        } catch (...) {
            size = -1;
        }
        if (size > 0)
            return size;
    }
    return 0;
}

// Downloads the package from the first address of the list that delivers it. An exception (the
// package file could not be written) fails that address like any other failure.
bool DownloadPackage(const std::list<tqString>& urls, const std::wstring& file, int total,
                     int offset) {
    for (const tqString& url : urls) {
        try {
            CHttpDownload download;
            if (download.Download(Wide(url), file, DownloadProgressCallback, total, offset)) {
                return true;
            }
        } catch (...) {
        }
    }
    return false;
}

// "<temp>tqupdate<n>" for the first number of the calling thread's generator whose name is free;
// empty when none is.
std::wstring ChooseExtractionFolder(const std::wstring& tempFolder) {
    for (int i = 0; i < kMaxFolderCandidates; ++i) {
        std::wstring name = tempFolder + L"tqupdate" + platform::ToWString(platform::CrtRand());
        if (!platform::Exists(name))
            return name;
    }
    return {};
}

// Damaged archives and file errors arrive as exceptions; either way the step has failed.
bool Extract(const std::wstring& package, const std::wstring& destination) {
    if (destination.empty())
        return false;
    try {
        return ExtractPackage(package, destination);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool CInnerThread::RunUpdate(int /*param*/) {
    const std::wstring tempFolder = platform::TempFolder();
    const std::list<tqString>& mainUrls = theApp.m_updateUrls;
    const std::list<tqString>& companyUrls = theApp.m_cmyUpdateUrls;
    const bool hasCompany = !companyUrls.empty();

    // Step F: a package no address delivers.
    const auto unavailable = [this] {
        m_bFailed = true;
        m_strStatus = LoadLangString(kStringNoAddress);
        SendToDialog(WM_UPDATE_FAILED, 0, 0);
        return false;
    };
    const auto extractFailed = [this] {
        m_bFailed = true;
        m_strStatus = kExtractFailed;
        return false;
    };

    const std::wstring mainFile = platform::CreateTempFile(tempFolder, L"upd");
    std::wstring companyFile;
    int total = -1;
    int mainSize = 0;
    if (hasCompany) {
        companyFile = platform::CreateTempFile(tempFolder, L"updRS");
        mainSize = SizePackage(mainUrls);
        if (mainSize <= 0)
            return unavailable();
        const int companySize = SizePackage(companyUrls);
        if (companySize <= 0)
            return unavailable();
        // The sum wraps as 32-bit arithmetic does; the dialog reads the total as unsigned.
        total =
            static_cast<int>(static_cast<uint32_t>(mainSize) + static_cast<uint32_t>(companySize));
    }

    if (!DownloadPackage(mainUrls, mainFile, total, 0))
        return unavailable();
    if (hasCompany && !DownloadPackage(companyUrls, companyFile, total, mainSize)) {
        return unavailable();
    }

    {
        const std::wstring text = LoadLangString(kStringDownloaded);
        SendToDialog(WM_UPDATE_STATUS, 0, reinterpret_cast<platform::LParam>(text.c_str()));
    }
    tqSleep(1000);

    g_src_folder = ChooseExtractionFolder(tempFolder);
    if (!Extract(mainFile, g_src_folder))
        return extractFailed();
    platform::RemoveFile(mainFile);
    if (hasCompany) {
        if (!Extract(companyFile, g_src_folder))
            return extractFailed();
        platform::RemoveFile(companyFile);
    }

    std::wstring error;
    try {
        error = theApp.PerformStep(2);
    } catch (...) {
        error = kInstallFailed;
    }
    if (!error.empty()) {
        m_bFailed = true;
        m_strStatus = error;
        return false;
    }
    m_strStatus = LoadLangString(kStringDone);
    PostToDialog(WM_UPDATE_COMPLETE);
    return false;
}
