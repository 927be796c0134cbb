// Windows kept in memory show the stand-in page view.
#include "platform/html_view.h"

namespace platform {

std::unique_ptr<HtmlView> CreateHtmlView(Window& host) {
    return CreateStandInHtmlView(host);
}

}  // namespace platform
