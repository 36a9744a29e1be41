// The program's UiBridge: every call of a worker thread is queued to the
// user-interface thread and handled there by the window's handlers. Pane
// repaints are coalesced: while one is pending for a pane, more requests
// for it add nothing to the queue (the decode path asks for one per
// picture, hundreds a second), and the recording light is posted only
// when it changes.
#pragma once

#include "net/UiBridge.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <functional>

namespace tarnvik {

struct UiHandlers {
    std::function<void(int pane)> paneChanged;
    std::function<void(bool lit)> recordingIndicator;
    std::function<void(const std::string& line)> frameLine;
    std::function<void(bool enabled)> controlsEnabled;
    std::function<void(bool loggedIn, const std::string& host)> sessionChanged;
    std::function<void(int lastRead)> commandTaskEnded;
};

class QtUiBridge : public UiBridge {
public:
    // Handlers run on `context`'s thread; calls queued after `context` is
    // destroyed are dropped.
    explicit QtUiBridge(QObject* context = nullptr) : context_(context) {}
    // Set once, on the user-interface thread, before any worker runs.
    void SetContext(QObject* context) { context_ = context; }
    void SetHandlers(UiHandlers handlers) { handlers_ = std::move(handlers); }

    void PaneChanged(int pane) override;
    void RecordingIndicator(bool lit) override;
    void FrameLine(const std::string& line) override;
    void ControlsEnabled(bool enabled) override;
    void SessionChanged(bool loggedIn, const std::string& host) override;
    void CommandTaskEnded(int lastRead) override;

private:
    template <typename F>
    void Post(F&& call);

    QPointer<QObject> context_;
    UiHandlers handlers_;
    std::array<std::atomic<bool>, 17> panePending_{};
    std::atomic<int> recordingShown_{-1}; // -1 before the first report
};

} // namespace tarnvik
