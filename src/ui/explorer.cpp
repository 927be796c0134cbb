#include "ui/explorer.h"

namespace {

constexpr unsigned kRightButtonDown = 0x0204;
constexpr unsigned kRightButtonUp = 0x0205;

}  // namespace

CExplorer1::CExplorer1() = default;

CExplorer1::~CExplorer1() {
    Destroy();
    m_view.reset();
}

bool CExplorer1::CreateControl(const std::wstring& windowName, uint32_t style,
                               const platform::Rect& rect, platform::Window* parent, int id) {
    platform::WindowSpec desc;
    desc.text = windowName;
    desc.style = style | WS_CHILD;
    desc.rect = rect;
    desc.parent = parent;
    desc.id = id;
    if (!Create(desc)) {
        return false;
    }
    m_view = platform::CreateHtmlView(*this);
    return true;
}

void CExplorer1::Navigate(const std::wstring& url) {
    if (m_view) {
        m_view->Navigate(url);
    }
}

std::wstring CExplorer1::LocationURL() const {
    return m_view ? m_view->Location() : L"";
}

platform::LResult CExplorer1::WindowProc(unsigned message, platform::WParam wParam,
                                         platform::LParam lParam) {
    platform::LResult result = 0;
    if (m_view && m_view->OnHostMessage(message, wParam, lParam, result)) {
        return result;
    }
    return Window::WindowProc(message, wParam, lParam);
}

bool CExplorer1::PreTranslateMessage(platform::Message& msg) {
    if (msg.message == kRightButtonDown || msg.message == kRightButtonUp) {
        return true;
    }
    return Window::PreTranslateMessage(msg);
}
