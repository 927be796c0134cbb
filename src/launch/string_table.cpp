// The string table of the program, the same on every target.
#include "launch/string_table.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    int id;
    const wchar_t* text;
};

// Sorted by id.
constexpr Entry kStrings[] = {
    {103, L"成功加载升级脚本！"},
    {104, L"无法加载脚本库tqslib.tql"},
    {106, L"正在下载更新包..."},
    {107, L"下载成功，开始解压更新包..."},
    {108, L"升级完成,已经更新至"},
    {110, L"重启程序"},
    {111, L"取消"},
    {112, L"开始升级"},
    {113,
     L"所有下载地址都不可用，请确保您的网络能够正常使用，再尝试一次！\n"
     L"如果还是不能成功，请联系在线客服！谢谢！"},
    {114, L"正在加载升级脚本..."},
    {115, L"自动更新程序"},
    {116, L"更新说明"},
    {118, L"重试"},
    {126, L" Orlin交易系统自动更新程序"},
    {403, L"成功加載升級腳本！"},
    {404, L"無法加載腳本庫tqslib.tql"},
    {406, L"正在下載更新包..."},
    {407, L"下載成功，開始解壓更新包..."},
    {408, L"升級完成,已經更新至"},
    {410, L"重啟程序"},
    {411, L"取消"},
    {412, L"開始升級"},
    {413,
     L"所有下載地址都不可用，請確保您的網絡能夠正常使用，再嘗試一次！\n"
     L"如果還是不能成功，請聯繫在線客服！謝謝！"},
    {414, L"正在加載升級腳本..."},
    {415, L"自動更新程序"},
    {416, L"更新說明"},
    {418, L"重試"},
    {426, L" Orlin交易系統自動更新程序"},
    {803, L"Successfully loaded the upgrade script！"},
    {804, L"Unable to load the script library tqslib.tql"},
    {806, L"Downloading update packages ..."},
    {807, L"Download successful ,start extracting update package ..."},
    {808, L"Upgrade Completed, Updated to"},
    {810, L"Restart"},
    {811, L"Cancel"},
    {812, L"Upgrade"},
    {813,
     L"All download address is not available, please ensure that your network is capable "
     L"of normal use, try again! \\ N If you still can not succeed, please contact Online "
     L"customer service! Thank you!"},
    {814, L"Loading the Upgrade Script ..."},
    {815, L"Automatic Update"},
    {816, L"Update Details"},
    {818, L"Retry"},
};

}  // namespace

bool FindStringResource(int id, std::wstring& text) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, int key) { return e.id < key; });
    if (it == std::end(kStrings) || it->id != id || it->text[0] == L'\0') {
        return false;
    }
    text = it->text;
    return true;
}
