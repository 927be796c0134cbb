// A web page shown in a child window: the embedded browser control on Windows. The caller creates
// the child window and lets the view take it over; the view paints the window and handles its
// input. User-interface thread only.
//
// Backends: until the browser control is hosted on Windows, both targets use the stand-in of
// html_view_standin.cpp, which reads a local page and paints its visible text, one paragraph per
// line, on the page's background colour. Markup is not laid out: the stand-in is for unattended
// runs, tests and screenshots.
#pragma once

#include <memory>
#include <string>

#include "platform/window.h"

namespace platform {

class HtmlView {
  public:
    virtual ~HtmlView() = default;

    // Shows the page at url: a local file path or an address. Answers false when the view
    // cannot even start to show it (what a page that fails to load shows is the view's affair).
    virtual bool Navigate(const std::wstring& url) = 0;
    // What the view was last asked to show; empty before the first Navigate.
    virtual const std::wstring& Location() const = 0;
    // The host window's messages, offered before the host handles them. true: handled, result
    // holds the answer.
    virtual bool OnHostMessage(unsigned message, WParam wParam, LParam lParam, LResult& result) = 0;
};

// Takes over host, which must outlive the view.
std::unique_ptr<HtmlView> CreateHtmlView(Window& host);

// The stand-in view (see the top of this file), for the backends that use it.
std::unique_ptr<HtmlView> CreateStandInHtmlView(Window& host);

}  // namespace platform
