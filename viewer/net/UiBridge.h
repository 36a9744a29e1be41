// How worker threads (the command task, players) tell the user-interface
// thread that something changed. The program's implementation queues each
// call to the user-interface thread; tests record them. No call blocks the
// worker, and none may be made while a lock of the caller is held that the
// user-interface thread could need.
#pragma once

#include <string>

namespace tarnvik {

class UiBridge {
public:
    virtual ~UiBridge() = default;
    // A pane's picture, caption or time text changed.
    virtual void PaneChanged(int pane) = 0;
    // The REC indicator follows the DVR's recording word.
    virtual void RecordingIndicator(bool lit) = 0;
    // A line for the (hidden) frame list.
    virtual void FrameLine(const std::string& line) = 0;
    // The connect-dependent controls are enabled or disabled.
    virtual void ControlsEnabled(bool enabled) = 0;
    // Logged in to `host` (the title and the Connect button change), or the
    // session ended (logged out).
    virtual void SessionChanged(bool loggedIn, const std::string& host) = 0;
    // The command task has ended; `lastRead` is the result of its last read.
    virtual void CommandTaskEnded(int lastRead) = 0;
};

} // namespace tarnvik
