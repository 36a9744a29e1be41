// The main window's keyboard: Space pauses or plays the current view, F11
// shows the video on the whole monitor, Escape and Enter leave full screen,
// 1 ... 9, 0 (Alt+1 ... 6 for 11 ... 16) show one channel alone, Tab and
// PageDown page forward, Shift+Tab and PageUp back, the arrows and + and -
// steer the camera of the single view (the move while the key is down, the
// stop on its release), M mutes, Ctrl+Q quits.
#include "MainDlg.h"

#include "app/window/TabPages.h"
#include "storage/LocalPlayer.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QTabWidget>

#include <algorithm>

namespace tarnvik {

namespace {

// The pan/tilt/zoom op of a key, '1'..'6' as the skinned buttons send them;
// 0 for other keys. + and - come with or without Shift on most layouts.
int PtzOpOfKey(int key)
{
    switch (key) {
    case Qt::Key_Left: return '1';
    case Qt::Key_Right: return '2';
    case Qt::Key_Up: return '3';
    case Qt::Key_Down: return '4';
    case Qt::Key_Plus:
    case Qt::Key_Equal: return '5';
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return '6';
    default: return 0;
    }
}

// 0..9 for the digit keys, -1 for the others.
int DigitOfKey(int key)
{
    return key >= Qt::Key_0 && key <= Qt::Key_9 ? key - Qt::Key_0 : -1;
}

QString KeyName(int key)
{
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

} // namespace

QString CMainDlg::WithKey(int controlId, const QString& text) const
{
    QString keys;
    switch (controlId) {
    case ctl::FullScreen: keys = KeyName(Qt::Key_F11); break;
    case ctl::Mute: keys = KeyName(Qt::Key_M); break;
    case ctl::Div1: keys = QStringLiteral("1 \u2026 9, 0"); break;
    case ctl::PtzLeft: keys = QStringLiteral("\u2190"); break;
    case ctl::PtzRight: keys = QStringLiteral("\u2192"); break;
    case ctl::PtzUp: keys = QStringLiteral("\u2191"); break;
    case ctl::PtzDown: keys = QStringLiteral("\u2193"); break;
    case ctl::ZoomIn: keys = QStringLiteral("+"); break;
    case ctl::ZoomOut: keys = QStringLiteral("-"); break;
    default: return text;
    }
    return QStringLiteral("%1 (%2)").arg(text, keys);
}

bool CMainDlg::OnKeyPress(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = modifiers == Qt::NoModifier;
    const bool repeat = event->isAutoRepeat();

    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // They never close the window; in full screen they leave it.
        if (fullScreen_)
            LeaveFullScreen();
        return true;
    case Qt::Key_Space:
        // Taken with any modifier: a focused button would click on it.
        if (plain && !repeat)
            PauseOrPlay();
        return true;
    case Qt::Key_F11:
        if (!plain)
            return false;
        if (!repeat) {
            if (fullScreen_)
                LeaveFullScreen();
            else
                EnterFullScreen(true);
        }
        return true;
    case Qt::Key_Q:
        if (modifiers != Qt::ControlModifier)
            break;
        close();
        return true;
    case Qt::Key_M:
        if (!plain)
            break;
        if (!repeat)
            SetAudioMute(!muted_);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_PageDown:
        if (!plain)
            return false;
        StepPage(true);
        return true;
    case Qt::Key_Backtab:
    case Qt::Key_PageUp:
        if (!plain && modifiers != Qt::ShiftModifier)
            return false;
        StepPage(false);
        return true;
    default:
        break;
    }

    if (const int digit = DigitOfKey(key); digit >= 0 && (plain || modifiers == Qt::AltModifier)) {
        int channel = digit == 0 ? 9 : digit - 1;
        if (modifiers == Qt::AltModifier) {
            if (digit < 1 || digit > 6)
                return false;
            channel = 9 + digit;
        }
        if (!repeat) {
            StopKeyPtz(); // the stop goes to the camera that moves
            if (divisions_->ShowAlone(channel))
                PlacePanesNow();
        }
        return true;
    }

    const int op = PtzOpOfKey(key);
    if (op && (plain || modifiers == Qt::ShiftModifier) && divisions_->Division() == kSingleViewDivision &&
        loggedIn_ && controlsEnabled_) {
        // The move goes out once on the first press; the key's auto-repeat
        // sends nothing more, its release the stop.
        if (!repeat && !ptzKey_) {
            ptzKey_ = op;
            core_->Session().PtzPress(uint8_t(op));
        }
        return true;
    }
    return false;
}

bool CMainDlg::OnKeyRelease(QKeyEvent* event)
{
    const int key = event->key();
    if (ptzKey_ && PtzOpOfKey(key) == ptzKey_) {
        if (!event->isAutoRepeat())
            StopKeyPtz();
        return true;
    }
    // A focused button clicks on the release of Space; Enter and Escape
    // belong to the window as well.
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

void CMainDlg::StopKeyPtz()
{
    if (!ptzKey_)
        return;
    ptzKey_ = 0;
    core_->Session().PtzRelease();
}

void CMainDlg::PauseOrPlay()
{
    if (sheet_->currentWidget() == localTab_) {
        if (player_ && player_->Running())
            player_->PlayPause();
        return;
    }
    if (!loggedIn_ || !controlsEnabled_)
        return;
    DvrSession& session = core_->Session();
    if (core_->State().streamState.load() == kStreamRequested)
        session.LivePause();
    else
        session.LivePlay();
}

void CMainDlg::StepPage(bool forward)
{
    StopKeyPtz();
    if (divisions_->Division() == kSingleViewDivision) {
        // One channel is one page: the next or the previous channel alone.
        const int count = std::min(core_->State().channelCount.load(), kLaidOutPanes);
        if (count < 2)
            return;
        divisions_->ShowAlone((divisions_->SelectedChannel() + (forward ? 1 : count - 1)) % count);
    } else if (!(forward ? divisions_->WheelForward() : divisions_->WheelBack())) {
        return;
    }
    PlacePanesNow();
}

} // namespace tarnvik
