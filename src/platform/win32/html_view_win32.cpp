// The page view of the Windows build. The browser control is not hosted yet: the stand-in shows
// the page's text meanwhile, so the notes stay readable.
#include "platform/html_view.h"

namespace platform {

std::unique_ptr<HtmlView> CreateHtmlView(Window& host) {
    return CreateStandInHtmlView(host);
}

}  // namespace platform
