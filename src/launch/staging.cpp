#include "launch/staging.h"

#include <bitset>
#include <memory>

#include "platform/crt_rand.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {
constexpr wchar_t kStagingPrefix[] = L"tq_update_zt_";
constexpr int kNameCount = 32768;
}  // namespace

const std::vector<std::wstring>& StagingCopyList() {
    static const std::vector<std::wstring> list = {
        L"tqBase.dll",      L"pnlwire.dll",
        L"pnlcore.dll",     L"tqNet.dll",
        L"tqExt.dll",       L"tqslib.tql",
        L"tqsinet.tql",     L"tqssys.tql",
        L"Update.exe",      std::wstring(L"config") + platform::kPathSep + L"qrsvr.ini",
        L"updateInfo.html",
    };
    return list;
}

std::wstring StagingFolderName(const std::wstring& tempFolder, int number) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring name = tempFolder + kStagingPrefix;
    for (int shift = 12; shift >= 0; shift -= 4) {
        name.push_back(kHex[(number >> shift) & 0xF]);
    }
    name.push_back(platform::kPathSep);
    return name;
}

std::wstring ChooseStagingFolder(const std::wstring& tempFolder) {
    auto tried = std::make_unique<std::bitset<kNameCount>>();
    size_t triedCount = 0;
    // The generator's period is far longer than the draws needed to meet every name, so the
    // search ends once all of them were seen.
    while (triedCount < kNameCount) {
        int number = platform::CrtRand();
        std::wstring candidate = StagingFolderName(tempFolder, number);
        // Tested without the trailing separator, so that a file of that name counts as taken.
        if (!platform::Exists(candidate.substr(0, candidate.size() - 1))) {
            return candidate;
        }
        if (!tried->test(static_cast<size_t>(number))) {
            tried->set(static_cast<size_t>(number));
            ++triedCount;
        }
    }
    return {};
}

bool IsStagingFolder(const std::wstring& folder, const std::wstring& tempFolder) {
    std::wstring path = folder;
    if (!path.empty() && platform::IsPathSep(path.back())) {
        path.pop_back();
    }
    size_t cut = path.find_last_of(L"\\/");
    if (path.empty() || cut == std::wstring::npos) {
        return false;
    }
    std::wstring name = path.substr(cut + 1);
    const size_t prefixLength = sizeof(kStagingPrefix) / sizeof(wchar_t) - 1;
    if (name.size() != prefixLength + 4 || name.compare(0, prefixLength, kStagingPrefix) != 0) {
        return false;
    }
    for (size_t i = prefixLength; i < name.size(); ++i) {
        wchar_t c = name[i];
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    std::wstring parent = path.substr(0, cut + 1);
    if (platform::EqualsFileName(parent, tempFolder)) {
        return true;
    }
    // The temporary folder may be known by a short or differently spelt name.
    return platform::EqualsFileName(platform::LongPath(parent), platform::LongPath(tempFolder));
}

std::wstring StagingRelaunchParams(const StagingRelaunch& v) {
    using platform::QuoteArgument;
    std::wstring params = v.fileName;
    params += L" -lang:" + std::to_wstring(v.lang);
    params += L" " + QuoteArgument(L"-cmy:" + v.cmy);
    params += L" " + QuoteArgument(L"-version:" + v.version);
    params += L" " + QuoteArgument(L"-url:" + v.url);
    params += L" " + QuoteArgument(L"-comment:" + v.comment);
    // Before the two quoted values: the folder's final backslash escapes the closing quote of
    // des, so the receiving run reads everything after it as part of des.
    if (v.silent) {
        params += L" -silent";
    }
    params += L" -restart_exe:\"" + v.restartExe + L"\"";
    params += L" -des:\"" + v.moduleFolder + L"\"";
    return params;
}

std::wstring CleanRelaunchParams(const std::wstring& stagingFolder) {
    return L"-clean \"" + stagingFolder + L"\"";
}

std::wstring StripQuotes(std::wstring text) {
    if (text.size() > 2) {
        if (text.front() == L'"') {
            text.erase(0, 1);
        }
        if (!text.empty() && text.back() == L'"') {
            text.pop_back();
        }
    }
    return text;
}
