// CExplorer1: the notes view of the update window, a child window that shows a web page (the
// platform's page view, platform/html_view.h) and keeps right clicks from opening a context
// menu. User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/html_view.h"
#include "platform/window.h"

class CExplorer1 : public platform::Window {
  public:
    CExplorer1();
    ~CExplorer1() override;

    // Creates the control as a child window of parent and hosts the page view in it.
    bool CreateControl(const std::wstring& windowName, uint32_t style, const platform::Rect& rect,
                       platform::Window* parent, int id);
    // Shows the page at url, a file path or an address.
    void Navigate(const std::wstring& url);
    // What the view was last asked to show; empty before the first Navigate or without a window.
    std::wstring LocationURL() const;

    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override;
    // Swallows right-button presses and releases aimed at the view or its inner windows.
    bool PreTranslateMessage(platform::Message& msg) override;

  private:
    std::unique_ptr<platform::HtmlView> m_view;
};
