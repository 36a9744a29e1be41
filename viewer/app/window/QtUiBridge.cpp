#include "QtUiBridge.h"

#include <QMetaObject>

namespace tarnvik {

template <typename F>
void QtUiBridge::Post(F&& call)
{
    QObject* context = context_.data();
    if (!context)
        return;
    QMetaObject::invokeMethod(context, std::forward<F>(call), Qt::QueuedConnection);
}

void QtUiBridge::PaneChanged(int pane)
{
    if (pane < 0 || pane >= int(panePending_.size()) || panePending_[size_t(pane)].exchange(true))
        return;
    Post([this, pane] {
        // Cleared before the repaint, so a picture handed over meanwhile
        // asks again.
        panePending_[size_t(pane)] = false;
        if (handlers_.paneChanged)
            handlers_.paneChanged(pane);
    });
}

void QtUiBridge::RecordingIndicator(bool lit)
{
    // Every frame reports the DVR's recording word; only changes matter.
    if (recordingShown_.exchange(lit ? 1 : 0) == (lit ? 1 : 0))
        return;
    Post([this, lit] {
        if (handlers_.recordingIndicator)
            handlers_.recordingIndicator(lit);
    });
}

void QtUiBridge::FrameLine(const std::string& line)
{
    if (!handlers_.frameLine)
        return;
    Post([this, line] {
        if (handlers_.frameLine)
            handlers_.frameLine(line);
    });
}

void QtUiBridge::ControlsEnabled(bool enabled)
{
    Post([this, enabled] {
        if (handlers_.controlsEnabled)
            handlers_.controlsEnabled(enabled);
    });
}

void QtUiBridge::SessionChanged(bool loggedIn, const std::string& host)
{
    Post([this, loggedIn, host] {
        if (handlers_.sessionChanged)
            handlers_.sessionChanged(loggedIn, host);
    });
}

void QtUiBridge::CommandTaskEnded(int lastRead)
{
    Post([this, lastRead] {
        if (handlers_.commandTaskEnded)
            handlers_.commandTaskEnded(lastRead);
    });
}

} // namespace tarnvik
