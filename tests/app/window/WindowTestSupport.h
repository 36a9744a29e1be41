// A main window over a private profile file in a temporary folder, with a
// notifier that records the texts it would show.
#pragma once

#include "TestFiles.h"

#include "app/ConnectionProfile.h"
#include "app/IniFile.h"
#include "app/window/MainDlg.h"
#include "video/ViewerCore.h"
#include "support/RecordingNotifier.h"

#include <QTest>

#include <memory>

namespace tarnvik::test {

class WindowFixture {
public:
    explicit WindowFixture(MainDlgOptions options = {}, AppSettings startSettings = {})
        : app(std::move(startSettings))
    {
        options.timing.stopGrace = std::chrono::milliseconds(20);
        window = std::make_unique<CMainDlg>(ini, app, notifier, std::move(options));
        window->show();
    }

    TempDir dir;
    IniFile ini{dir / "TarnvikPlayer.ini"};
    AppSettings app;
    RecordingNotifier notifier;
    std::unique_ptr<CMainDlg> window;
};

// Pumps the event loop until `done` holds or the limit passes.
template <typename F>
bool WaitFor(F done, int limitMs = 10000)
{
    return QTest::qWaitFor(done, limitMs);
}

// The test DVR on loopback `port`, as its in-process form starts it.
inline ConnectSettings TestDvrSettings(uint16_t port)
{
    ConnectSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    s.password = "1234";
    return s;
}

// Connects the window to the test DVR on `port` and waits until the window
// itself has heard of the login (through its queue). False on a timeout.
inline bool LogInTo(CMainDlg& window, uint16_t port)
{
    window.ConnectTo(TestDvrSettings(port));
    return WaitFor([&] { return window.Core().State().loggedIn.load(); }) &&
           WaitFor([&] { return window.windowTitle() == "Network Viewer - 127.0.0.1"; });
}

} // namespace tarnvik::test
