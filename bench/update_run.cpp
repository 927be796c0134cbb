// Runs the update procedure once, as the dialog's worker does, and reports how it ended:
//   update_run <package url> <client folder> [company package url]
// The temporary folder ($TMPDIR) receives the package file and the extraction folder. Prints
// "ok <ms>" or "failed <ms> <status text>" and answers 0 or 1.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/text.h"
#include "platform/window.h"
#include "worker/work_thread.h"

namespace {

constexpr unsigned kEnded = WM_USER + 1;

class StatusWindow : public platform::Window {
  public:
    bool m_ended = false;
    bool m_failed = false;
    std::wstring m_status;
    // When the first status arrived: the downloads were done then.
    std::chrono::steady_clock::time_point m_downloaded{};

    platform::LResult WindowProc(unsigned m, platform::WParam w, platform::LParam l) override {
        if (m == kEnded)
            m_ended = true;
        if (m == WM_UPDATE_STATUS) {
            if (m_downloaded == std::chrono::steady_clock::time_point{}) {
                m_downloaded = std::chrono::steady_clock::now();
            }
            m_failed = (platform::LowWord(w) != 0);
            m_status = l ? reinterpret_cast<const wchar_t*>(l) : L"";
        }
        return DefaultProc(m, w, l);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: update_run <package url> <client folder> [company url]\n");
        return 2;
    }
    theApp.m_updateUrls.push_back(tqString(argv[1]));
    if (argc > 3)
        theApp.m_cmyUpdateUrls.push_back(tqString(argv[3]));
    g_des = platform::Utf8ToWide(argv[2]);
    g_restart_exe = L"NoClientRunsHere.exe";

    StatusWindow window;
    platform::WindowSpec desc;
    desc.style = WS_POPUP;
    if (!window.Create(desc))
        return 2;
    SetUpdateDialogWindow(window.Handle());

    const auto start = std::chrono::steady_clock::now();
    const platform::WindowHandle handle = window.Handle();
    std::thread worker([handle] {
        {
            CInnerThread thread(1);
            thread.Run(0);
            thread.OnRunEnd();
        }
        platform::PostToWindow(handle, kEnded);
    });
    while (!window.m_ended) {
        platform::Message msg;
        if (!platform::WaitNextMessage(msg))
            break;
        platform::Dispatch(msg);
    }
    worker.join();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    WithdrawUpdateDialogWindow(handle);
    window.Destroy();
    if (window.m_failed) {
        std::printf("failed %lld %s\n", static_cast<long long>(ms),
                    platform::WideToUtf8(window.m_status).c_str());
        return 1;
    }
    const auto downloadMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(window.m_downloaded - start).count();
    // The rest after the download: the one-second pause, unpacking and installing.
    std::printf("ok %lld download %lld\n", static_cast<long long>(ms),
                static_cast<long long>(downloadMs));
    return 0;
}
