// The stand-in page view: it keeps the address it was given, reads a local page (at most
// kMaxPageBytes of it) as UTF-8, and paints the text of the page's body with one line per
// paragraph or line break, in the colours of the page when it names them in the usual way
// (bgcolor on the body, color in a p rule), else black on white.
#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "platform/fs.h"
#include "platform/html_view.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr uint64_t kMaxPageBytes = 1u << 20;
constexpr int kMargin = 5;
constexpr int kLineHeight = 16;

std::wstring Lower(std::wstring_view s) {
    std::wstring out(s);
    for (wchar_t& c : out) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return out;
}

// "#RRGGBB" at the start of text, as a colour.
bool ParseHexColor(std::wstring_view text, Color& out) {
    if (text.size() < 7 || text[0] != L'#') {
        return false;
    }
    uint32_t v = 0;
    for (size_t i = 1; i < 7; ++i) {
        const wchar_t c = text[i];
        uint32_t d;
        if (c >= L'0' && c <= L'9') {
            d = static_cast<uint32_t>(c - L'0');
        } else if (c >= L'a' && c <= L'f') {
            d = static_cast<uint32_t>(c - L'a' + 10);
        } else if (c >= L'A' && c <= L'F') {
            d = static_cast<uint32_t>(c - L'A' + 10);
        } else {
            return false;
        }
        v = v * 16 + d;
    }
    out = Rgb(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
    return true;
}

std::wstring DecodeEntities(std::wstring_view s) {
    static constexpr struct {
        std::wstring_view name;
        wchar_t c;
    } kEntities[] = {{L"&amp;", L'&'},  {L"&lt;", L'<'},   {L"&gt;", L'>'},
                     {L"&quot;", L'"'}, {L"&nbsp;", L' '}, {L"&#39;", L'\''}};
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        bool done = false;
        if (s[i] == L'&') {
            for (const auto& e : kEntities) {
                if (s.substr(i).starts_with(e.name)) {
                    out.push_back(e.c);
                    i += e.name.size();
                    done = true;
                    break;
                }
            }
        }
        if (!done) {
            out.push_back(s[i++]);
        }
    }
    return out;
}

struct PageText {
    std::vector<std::wstring> lines;
    Color background = Rgb(255, 255, 255);
    Color text = Rgb(0, 0, 0);
};

PageText ExtractText(const std::wstring& page) {
    PageText result;
    const std::wstring lower = Lower(page);
    if (const size_t at = lower.find(L"bgcolor=\""); at != std::wstring::npos) {
        ParseHexColor(std::wstring_view(page).substr(at + 9), result.background);
    }
    // The colour of the paragraph rule: "p" on a line of its own, then its declarations.
    if (const size_t rule = lower.find(L"\np\r\n"); rule != std::wstring::npos) {
        const size_t end = lower.find(L'}', rule);
        const size_t color = lower.find(L"color:#", rule);
        if (color != std::wstring::npos && color < end) {
            ParseHexColor(std::wstring_view(page).substr(color + 6), result.text);
        }
    }
    size_t begin = lower.find(L"<body");
    size_t end = lower.find(L"</body>");
    begin = begin == std::wstring::npos ? 0 : begin;
    end = end == std::wstring::npos ? page.size() : end;

    std::wstring line;
    auto flush = [&] {
        std::wstring text = DecodeEntities(line);
        // Collapse runs of blanks as a browser would.
        std::wstring collapsed;
        for (const wchar_t c : text) {
            const bool blank = c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
            if (blank) {
                if (!collapsed.empty() && collapsed.back() != L' ') {
                    collapsed.push_back(L' ');
                }
            } else {
                collapsed.push_back(c);
            }
        }
        while (!collapsed.empty() && collapsed.back() == L' ') {
            collapsed.pop_back();
        }
        if (!collapsed.empty()) {
            result.lines.push_back(collapsed);
        }
        line.clear();
    };
    for (size_t i = begin; i < end;) {
        if (page[i] != L'<') {
            line.push_back(page[i++]);
            continue;
        }
        const size_t close = page.find(L'>', i);
        if (close == std::wstring::npos || close > end) {
            break;
        }
        const std::wstring tag = lower.substr(i + 1, close - i - 1);
        if (tag.starts_with(L"br") || tag.starts_with(L"p") || tag.starts_with(L"/p") ||
            tag.starts_with(L"div") || tag.starts_with(L"/div") || tag.starts_with(L"li")) {
            flush();
        }
        i = close + 1;
    }
    flush();
    return result;
}

class StandInHtmlView final : public HtmlView {
  public:
    explicit StandInHtmlView(Window& host)
        : m_host(host), m_font(FontSpec{12, FW_NORMAL, false, false, 134, 2, 0x20, L"宋体"}) {}

    bool Navigate(const std::wstring& url) override {
        m_location = url;
        m_page = PageText{};
        std::string bytes;
        File file;
        if (file.TryOpen(url, File::Mode::kRead)) {
            try {
                const uint64_t length = std::min<uint64_t>(file.Length(), kMaxPageBytes);
                bytes.resize(static_cast<size_t>(length));
                size_t got = 0;
                while (got < bytes.size()) {
                    const size_t n = file.Read(bytes.data() + got, bytes.size() - got);
                    if (n == 0) {
                        break;
                    }
                    got += n;
                }
                bytes.resize(got);
                file.Close();
            } catch (const FileException&) {
                file.Abort();
                bytes.clear();
            }
            m_page = ExtractText(Utf8ToWide(bytes));
        }
        m_host.Invalidate();
        return true;
    }

    const std::wstring& Location() const override { return m_location; }

    bool OnHostMessage(unsigned message, WParam, LParam, LResult& result) override {
        if (message == WM_ERASEBKGND) {
            result = 1;
            return true;
        }
        if (message != WM_PAINT) {
            return false;
        }
        PaintScope paint(m_host);
        Canvas& canvas = paint.GetCanvas();
        const Rect client = m_host.ClientRect();
        canvas.Fill(client, m_page.background);
        const Font* old = canvas.SelectFont(&m_font);
        canvas.SetBackgroundMode(BackgroundMode::kTransparent);
        canvas.SetTextColor(m_page.text);
        int y = kMargin;
        for (const std::wstring& line : m_page.lines) {
            if (y >= client.bottom) {
                break;
            }
            canvas.DrawString(line, {kMargin, y, client.right - kMargin, y + kLineHeight},
                              DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
            y += kLineHeight;
        }
        canvas.SelectFont(old);
        result = 0;
        return true;
    }

  private:
    Window& m_host;
    Font m_font;
    std::wstring m_location;
    PageText m_page;
};

}  // namespace

std::unique_ptr<HtmlView> CreateStandInHtmlView(Window& host) {
    return std::make_unique<StandInHtmlView>(host);
}

}  // namespace platform
