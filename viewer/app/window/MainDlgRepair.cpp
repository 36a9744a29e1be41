// The main window's self-repair of the live view: the view shown after a
// login, restoring a lost session with growing waits, and the marks of
// panes whose channel has no signal.
#include "MainDlg.h"

#include "app/controls/HoverButton.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QTabWidget>

#include <cmath>

namespace tarnvik {

void CMainDlg::ShowViewAfterLogin()
{
    const int channelCount = core_->State().channelCount.load();
    // The login asked the DVR for the view the window had. With the channel
    // count it was laid out for, that view stays (a session restored, or
    // connected again by hand); otherwise the layout is rebuilt for the new
    // count. Either way, a view that differs from the one asked for is
    // asked for.
    bool changed;
    if (channelCount == viewChannelCount_) {
        EnableDivisionButtons(channelCount);
        changed = divisions_->ShowAfterLogin();
    } else {
        const int before = divisions_->Division();
        ApplyChannelCount(channelCount);
        changed = divisions_->Division() != before;
    }
    if (changed)
        core_->Session().LivePlay();
    PlacePanesNow();
    UpdatePaneSignals();
}

void CMainDlg::ScheduleReconnect()
{
    repair_ = Repair::Waiting;
    const std::chrono::milliseconds delay = backoff_.Next();
    nextAttempt_ = std::chrono::steady_clock::now() + delay;
    reconnectTimer_.start(delay);
    UpdateConnectButton(true);
    EnableConnect(true);
    UpdatePaneSignals();
}

void CMainDlg::TryReconnect()
{
    if (repair_ != Repair::Waiting)
        return;
    repair_ = Repair::Trying;
    ConnectSettings settings = lastSettings_;
    settings.retry = true;
    // The last pictures stay, dimmed, until new ones replace them.
    if (!StartConnect(settings, false))
        StopReconnecting();
    UpdatePaneSignals();
}

void CMainDlg::StopReconnecting()
{
    reconnectTimer_.stop();
    if (repair_ == Repair::Off)
        return;
    repair_ = Repair::Off;
    resumeRecording_ = false;
    if (!loggedIn_) {
        UpdateConnectButton(false);
        ShowLocalPage();
    }
    UpdatePaneSignals();
}

void CMainDlg::UpdatePaneSignals()
{
    const auto now = std::chrono::steady_clock::now();
    const ViewerState& state = core_->State();
    SignalWatch::View view;
    view.division = divisions_->Division();
    view.pageStart = divisions_->PageStartOf(view.division);
    view.selectedChannel = divisions_->SelectedChannel();
    // The window's own logged-in flag (not the session's) keeps expecting
    // steady while a lost session's end is still on its way here.
    view.expecting = Reconnecting() || (loggedIn_ && state.mode.load() == kModeLive &&
                                        state.streamState.load() != kStreamStopped);
    signalWatch_.Update(view, now);

    QString text = tr("NO SIGNAL");
    if (repair_ == Repair::Waiting) {
        const double left = std::chrono::duration<double>(nextAttempt_ - now).count();
        text = tr("RECONNECTING IN %1 s").arg(std::max(1, int(std::ceil(left))));
    }
    const int channelCount = state.channelCount.load();
    for (int pane = 0; pane < kLaidOutPanes; ++pane) {
        const int channel = divisions_->CaptionChannel(pane);
        const bool lost = divisions_->PaneVisible(pane) && channel >= 0 && channel < channelCount &&
                          signalWatch_.Lost(core_->Panes().Snapshot(pane).lastPicture, now);
        panes_[size_t(pane)]->SetSignalText(lost ? text : QString());
    }
}

} // namespace tarnvik
