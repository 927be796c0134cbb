// The release-notes page. The page is laid out like the word-processor export the client's
// release notes have always used, so that the notes view shows the same fonts and scrollbars as
// the client; the version and the comment go in unescaped because the comment may carry markup.
#include "ui/notes_page.h"

#include <cstring>

#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

constexpr const wchar_t* kPageHead =
    L"<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n"
    L"xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
    L"xmlns:w=\"urn:schemas-microsoft-com:office:word\"\r\n"
    L"xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n"
    L"<head>\r\n"
    L"<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n"
    L"<meta name=ProgId content=Word.Document>\r\n"
    L"<meta name=Generator content=\"Microsoft Word 11\">\r\n"
    L"<meta name=Originator content=\"Microsoft Word 11\">\r\n"
    L"<link rel=File-List href=\"readme_cn.files/filelist.xml\">\r\n"
    L"<title>无标题文档</title>\r\n"
    L"<style>\r\n";

constexpr const wchar_t* kPageStyle =
    L"<!--body\r\n"
    L"\t{SCROLLBAR-FACE-COLOR:#cfb35d;\r\n"
    L"\tSCROLLBAR-HIGHLIGHT-COLOR:#cfb35d;\r\n"
    L"\tSCROLLBAR-SHADOW-COLOR:#cfb35d;\r\n"
    L"\tSCROLLBAR-3DLIGHT-COLOR:#e7cd7c;\r\n"
    L"\tSCROLLBAR-ARROW-COLOR:black;\r\n"
    L"\tSCROLLBAR-TRACK-COLOR:#e7cd7c;\r\n"
    L"\tSCROLLBAR-DARKSHADOW-COLOR:#e7cd7c;\r\n"
    L"\tSCROLLBAR-BASE-COLOR:#cfb35d;\r\n"
    L"\toncontextmenu:return false;\r\n"
    L"\tonselectstart:return false;\r\n"
    L"\toverflow:auto;}\r\n"
    L" /* Font Definitions */\r\n"
    L" @font-face\r\n"
    L"\t{font-family:宋体;\r\n"
    L"\tpanose-1:2 1 6 0 3 1 1 1 1 1;\r\n"
    L"\tmso-font-alt:SimSun;\r\n"
    L"\tmso-font-charset:134;\r\n"
    L"\tmso-generic-font-family:auto;\r\n"
    L"\tmso-font-pitch:variable;\r\n"
    L"\tmso-font-signature:3 135135232 16 0 262145 0;}\r\n"
    L"@font-face\r\n"
    L"\t{font-family:\"@宋体\";\r\n"
    L"\tpanose-1:2 1 6 0 3 1 1 1 1 1;\r\n"
    L"\tmso-font-charset:134;\r\n"
    L"\tmso-generic-font-family:auto;\r\n"
    L"\tmso-font-pitch:variable;\r\n"
    L"\tmso-font-signature:3 135135232 16 0 262145 0;}\r\n"
    L" /* Style Definitions */\r\n"
    L" p.MsoNormal, li.MsoNormal, div.MsoNormal\r\n"
    L"\t{mso-style-parent:\"\";\r\n"
    L"\tmargin:0cm;\r\n"
    L"\tmargin-bottom:.0001pt;\r\n"
    L"\tmso-pagination:widow-orphan;\r\n"
    L"\tfont-size:12.0pt;\r\n"
    L"\tfont-family:宋体;\r\n"
    L"\tmso-bidi-font-family:宋体;\r\n"
    L"\tcolor:windowtext;}\r\n"
    L"p\r\n"
    L"\t{margin:3.75pt;\r\n"
    L"\tmso-pagination:widow-orphan;\r\n"
    L"\tfont-size:9.0pt;\r\n"
    L"\tfont-family:宋体;\r\n"
    L"\tmso-bidi-font-family:宋体;\r\n"
    L"\tcolor:#74581C;}\r\n"
    L"@page Section1\r\n"
    L"\t{size:595.3pt 841.10pt;\r\n"
    L"\tmargin:72.0pt 90.0pt 72.0pt 90.0pt;\r\n"
    L"\tmso-header-margin:42.55pt;\r\n"
    L"\tmso-footer-margin:49.6pt;\r\n"
    L"\tmso-paper-source:0;}\r\n"
    L"div.Section1\r\n"
    L"\t{page:Section1;}\r\n"
    L"\t-->\r\n";

constexpr const wchar_t* kPageBodyOpen =
    L"</style>\r\n"
    L"</head>\r\n"
    L"<body bgcolor=\"#FFF5D9\" lang=ZH-CN style='tab-interval:21.0pt'>\r\n"
    L"<div class=Section1>\r\n"
    L"<p>版本号：<span lang=EN-US>\r\n";

constexpr const wchar_t* kPageRule =
    L"</span></p>\r\n"
    L"<p><span lang=EN-US>-------------------------------------------------</span></p>\r\n"
    L"<p>";

// The comment's paragraph never opened the span this closes; browsers accept it and the page has
// always been written so.
constexpr const wchar_t* kPageTail =
    L"<o:p></o:p></span></p>\r\n"
    L"</div>\r\n"
    L"</body>\r\n"
    L"</html>\r\n";

}  // namespace

std::wstring BuildNotesPage(std::wstring_view version, std::wstring_view comment) {
    std::wstring page;
    page.reserve(4096 + version.size() + comment.size());
    page += kPageHead;
    page += kPageStyle;
    page += kPageBodyOpen;
    page += version;
    page += kPageRule;
    page += comment;
    page += kPageTail;
    return page;
}

size_t ToUtf8(std::wstring_view text, std::unique_ptr<char[]>& out) {
    const std::string utf8 = platform::WideToUtf8(text);
    out = std::make_unique<char[]>(utf8.size() + 1);  // zeroed, so the NUL is in place
    std::memcpy(out.get(), utf8.data(), utf8.size());
    return utf8.size();
}

void WriteNotesPage(const std::wstring& path, const std::wstring& version,
                    const std::wstring& comment) {
    std::unique_ptr<char[]> bytes;
    const size_t size = ToUtf8(BuildNotesPage(version, comment), bytes);
    platform::File file;
    if (!file.TryOpen(path, platform::File::Mode::kCreateWrite)) {
        return;
    }
    try {
        file.Write(bytes.get(), size);
        file.Close();
    } catch (const platform::FileException&) {
        // The notes are a courtesy: a page that cannot be written must not stop the update. A
        // partial page would be shown as it is for the rest of the run, so none is left.
        file.Abort();
        platform::RemoveFile(path);
    }
}

std::wstring CUpdateApp::PrepareNotesPage() {
    const std::wstring path = g_module_folder + kNotesPageName;
    if (platform::Exists(path)) {
        return path;
    }
    if (g_comment.empty()) {
        g_comment = kDefaultComment;
    }
    WriteNotesPage(path, g_version, g_comment);
    return path;
}
