#include "MainDlg.h"

#include "app/controls/ControlLogic.h"
#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/strings/MainWindowSizing.h"
#include "app/strings/StringTable.h"
#include "app/window/OneCamera.h"
#include "app/window/LatenessWatch.h"
#include "app/window/TabPages.h"
#include "app/window/WindowLayout.h"
#include "storage/LocalPlayer.h"
#include "video/AudioPlayer.h"
#include "net/ReceptionStatus.h"
#include "net/Trace.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnvik {

QPixmap LoadSkin(int resourceId); // MainDlgPanel.cpp

namespace {

// The smallest video area full screen accepts from the profile.
constexpr int kMinFullScreenWidth = 160;
constexpr int kMinFullScreenHeight = 120;

// The pan/tilt/zoom op of each skinned button, '1'..'8' in the order left,
// right, up, down, zoom in, zoom out, focus far, focus near.
int PtzOpOfButton(int controlId)
{
    switch (controlId) {
    case ctl::PtzLeft: return '1';
    case ctl::PtzRight: return '2';
    case ctl::PtzUp: return '3';
    case ctl::PtzDown: return '4';
    case ctl::ZoomIn: return '5';
    case ctl::ZoomOut: return '6';
    case ctl::FocusFar: return '7';
    case ctl::FocusNear: return '8';
    default: return 0;
    }
}

int DivisionOfButton(int controlId)
{
    switch (controlId) {
    case ctl::Div1: return 1;
    case ctl::Div4: return 4;
    case ctl::Div6: return 6;
    case ctl::Div8: return 8;
    case ctl::Div9: return 9;
    case ctl::Div10: return 10;
    case ctl::Div13: return 13;
    case ctl::Div16: return 16;
    default: return 0;
    }
}

} // namespace

CMainDlg::CMainDlg(const IniFile& ini, AppSettings& app, Notifier& notifier, MainDlgOptions options, QWidget* parent)
    : QDialog(parent)
    , ini_(ini)
    , app_(app)
    , notifier_(notifier)
    , options_(std::move(options))
    , bridge_(this)
{
    setObjectName(QStringLiteral("CMainDlg"));
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // Qt shows tooltips only over the active window unless told otherwise; a
    // window the desktop did not activate (another program kept the focus,
    // or none was given after a dialog) showed none at all.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    // The decoders are set up here; a failing channel is reported and the
    // window opens all the same.
    core_ = std::make_unique<ViewerCore>(notifier_, bridge_, options_.timing);
    noVideo_ = LoadSkin(130).toImage().convertToFormat(QImage::Format_BGR888);
    core_->SetNoVideoPicture(noVideo_);
    videoBackground_ = LoadSkin(136);
    panelBackground_ = LoadSkin(137);
    barBackground_ = LoadSkin(138);

    DivisionHooks hooks;
    hooks.requestDivision = [this](int division) { core_->Session().DivisionChanged(division); };
    hooks.invalidatePane = [this](int pane) { RepaintPane(pane); };
    hooks.enteringSingleView = [this](int channel) {
        SetAudioMute(false);
        // A channel chosen by its number may be on no pane shown: it is asked
        // for all the same.
        bool hasVideo = true;
        for (int pane = 0; pane < 16; ++pane)
            if (divisions_->PaneVisible(pane) && divisions_->PaneChannel(pane) == channel)
                hasVideo = !core_->Panes().Snapshot(pane).noVideo;
        // The DVR is asked for the one channel a moment after the view
        // changes, as it expects; a timer keeps the window responsive.
        QTimer::singleShot(300, this, [this, channel, hasVideo] {
            if (divisions_->Division() == kSingleViewDivision && divisions_->SelectedChannel() == channel)
                core_->Session().ChannelChosen(channel, hasVideo);
        });
    };
    hooks.leavingSingleView = [this] { SetAudioMute(true); };
    hooks.requestSingleView = [this](int channel) { core_->Session().ChannelChosen(channel, true); };
    divisions_ = std::make_unique<DivisionState>(core_->Panes(), core_->Renderer(), core_->State(), noVideo_, hooks);
    ptzRepeater_ = std::make_unique<PtzRepeater>([this](uint8_t op) { core_->Session().SendPtz(op); });

    BuildControlPanel();
    BuildBottomBar();
    BuildSheet();
    BuildPanes();
    BuildPlayback();
    BuildRemote();
    for (QWidget* w : chrome_)
        designGeometry_.emplace_back(w, w->geometry());
    WireBridge();
    UpdateConnectDependent(); // nothing that needs a DVR before a login

    // Every pane starts with the no-video picture and its camera caption.
    const int channelCount = core_->State().channelCount.load();
    core_->ClearPictures();
    for (int pane = 0; pane < 16; ++pane)
        core_->Panes().SetPane(pane, pane, false, CaptionOfChannel(pane, channelCount));
    ApplyChannelCount(channelCount);

    connect(&rateTimer_, &QTimer::timeout, this, &CMainDlg::OnRateTimer);
    rateTimer_.start(1000);
    core_->State().framesShown = 0;
    reconnectTimer_.setSingleShot(true);
    connect(&reconnectTimer_, &QTimer::timeout, this, &CMainDlg::TryReconnect);
    connect(&signalTimer_, &QTimer::timeout, this, &CMainDlg::UpdatePaneSignals);
    signalTimer_.start(250);
    if (TraceEnabled()) {
        lateness_ = std::make_unique<LatenessWatch>(this, [this] { return loggedIn_ || Reconnecting(); });
        lateness_->Start();
    }

    // The design size, or less where the screen is smaller; the user may
    // resize and maximise the window from there.
    setMinimumSize(kMinimumClientWidth, kMinimumClientHeight);
    const QRect available = screen()->availableGeometry();
    resize(StartClientSize(available, QSize(kFrameExtraWidth, kFrameExtraHeight)));
    move(available.topLeft());
    ApplyLayout();
    SetAudioMute(true);
    // The window's keys (MainDlgKeys.cpp) come to it before any control.
    qApp->installEventFilter(this);
}

int CMainDlg::WorstUiLatenessMs() const { return lateness_ ? lateness_->WorstMs() : 0; }
long CMainDlg::UiLatenessTicks() const { return lateness_ ? lateness_->MeasuredTicks() : 0; }

CMainDlg::~CMainDlg()
{
    lateness_.reset();
    qApp->removeEventFilter(this);
    rateTimer_.stop();
    signalTimer_.stop();
    reconnectTimer_.stop();
    StopConnector();
    ptzRepeater_.reset();
    // The player decodes into the core's panes: it ends first.
    player_.reset();
    // The session ends (live stop, session end, task joined) before the
    // decoders and panes it feeds go away.
    core_.reset();
}

QString CMainDlg::LoadText(int englishId) const
{
    const std::string_view text = LoadLocalizedString(englishId, options_.languageId);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void CMainDlg::WireBridge()
{
    UiHandlers handlers;
    handlers.paneChanged = [this](int pane) { RepaintPane(pane); };
    handlers.recordingIndicator = [this](bool lit) { lights_[ctl::RecLight]->SetState(lit ? 1 : 0); };
    handlers.controlsEnabled = [this](bool enabled) { OnControlsEnabled(enabled); };
    handlers.sessionChanged = [this](bool loggedIn, const std::string& host) { OnSessionChanged(loggedIn, host); };
    bridge_.SetHandlers(std::move(handlers));
}

// ---- Divisions and panes ----------------------------------------------------

void CMainDlg::EnableDivisionButtons(int channelCount)
{
    for (int id : {ctl::Div1, ctl::Div4, ctl::Div6, ctl::Div8, ctl::Div9, ctl::Div10, ctl::Div13, ctl::Div16})
        buttons_[id]->setEnabled(DivisionUsable(DivisionOfButton(id), channelCount));
}

void CMainDlg::ApplyChannelCount(int channelCount)
{
    EnableDivisionButtons(channelCount);
    viewChannelCount_ = channelCount;
    if (channelCount == 1)
        divisions_->SetDivision(1, 0, true, false);
    else
        divisions_->SetDivision(channelCount, -1, true, false);
    PlacePanesNow();
}

void CMainDlg::PlacePanesNow()
{
    const QRect grid = LayOutMainWindow(size(), fullScreen_).grid;
    const PaneRects rects = PlacePanesInGrid(grid.x(), grid.y(), grid.width(), grid.height(), *divisions_);
    for (int pane = 0; pane < 16; ++pane) {
        COneCamera* camera = panes_[size_t(pane)];
        if (!camera)
            continue;
        const auto& rect = rects[size_t(pane)];
        if (rect && divisions_->PaneVisible(pane)) {
            camera->setGeometry(rect->x, rect->y, rect->w, rect->h);
            camera->show();
            camera->update();
        } else {
            camera->hide();
        }
    }
}

void CMainDlg::ApplyLayout()
{
    const WindowLayout layout = LayOutMainWindow(size(), fullScreen_);
    if (!fullScreen_) {
        for (const auto& [widget, design] : designGeometry_)
            widget->setGeometry(layout.Place(design));
        if (layout.scale != layoutScale_) {
            // Texts shrink with the panel so that they still fit their controls.
            QFont font;
            if (layout.scale < 1.0) {
                font = QApplication::font(this);
                if (font.pointSizeF() > 0)
                    font.setPointSizeF(font.pointSizeF() * layout.scale);
                else
                    font.setPixelSize(std::max(1, int(font.pixelSize() * layout.scale)));
            }
            for (QWidget* w : chrome_)
                w->setFont(font);
            layoutScale_ = layout.scale;
        }
    }
    PlacePanesNow();
    update();
}

void CMainDlg::RepaintPane(int pane)
{
    if (COneCamera* camera = Pane(pane))
        camera->update();
}

void CMainDlg::ClearPanes()
{
    core_->ClearPictures();
    for (int pane = 0; pane < 16; ++pane)
        RepaintPane(pane);
}

// ---- Buttons ------------------------------------------------------------------

void CMainDlg::OnButtonClicked(int controlId)
{
    if (const int division = DivisionOfButton(controlId)) {
        divisions_->PressDivision(division);
        if (division == 1)
            SetAudioMute(false);
        else if (division == 4)
            SetAudioMute(true);
        PlacePanesNow();
        return;
    }
    switch (controlId) {
    case ctl::Connect:
        OnConnectButton();
        break;
    case ctl::Setting:
        OnSettingButton();
        break;
    case ctl::DvrSetting:
        OnDvrSettingButton();
        break;
    case ctl::Mute:
        SetAudioMute(!muted_);
        break;
    case ctl::FullScreen:
        EnterFullScreen();
        break;
    case ctl::DvrRecordStart:
    case ctl::DvrRecordStop:
        OnRecordButton(controlId == ctl::DvrRecordStart);
        break;
    case ctl::RecordAvi:
        OnAviButton();
        break;
    case ctl::RemotePlay:
        OnRemotePlayButton();
        break;
    case ctl::RemoteStop:
        core_->Session().RemotePause();
        break;
    case ctl::RemoteStepFf:
    case ctl::RemoteStepRw:
        RemoteStep(controlId == ctl::RemoteStepFf);
        break;
    default:
        OnLocalButton(controlId);
        break;
    }
}

void CMainDlg::OnHoverNotify(int controlId, std::uint32_t message)
{
    const int op = PtzOpOfButton(controlId);
    if (!op || !ptzRepeater_)
        return;
    if (message == kMsgHoverPressed)
        ptzRepeater_->Press(uint8_t(op));
    else if (message == kMsgHoverReleased)
        ptzRepeater_->Release();
}

void CMainDlg::SetAudioMute(bool mute)
{
    muted_ = mute;
    if (audio_)
        audio_->SetMuted(mute);
    if (CHoverButton* button = Button(ctl::Mute)) {
        button->LoadSkin(LoadSkin(mute ? 271 : 272));
        button->SetTooltip(WithKey(ctl::Mute, LoadText(mute ? 3019 : 3020)));
        button->update();
    }
}

void CMainDlg::OnSheetPageChanged(int index)
{
    QWidget* page = sheet_->widget(index);
    DvrSession& session = core_->Session();
    const bool leavingRemote = shownPage_ == netTab_ && page != netTab_;
    shownPage_ = page;
    // Hiding the local page closes what it plays; the window is live again.
    if (page != localTab_ && player_ && player_->Running()) {
        StopPlayback();
        core_->State().mode = kModeLive;
    }
    // Leaving remote playback ends the DVR's playback session; its pictures go.
    if (leavingRemote) {
        session.RemoteTabHidden();
        ClearPanes();
    }
    ShowPlaybackControls(page == localTab_);
    ShowRemoteControls(page == netTab_);
    if (page == localTab_)
        core_->State().mode = kModeLocalPlayback;
    if (page == liveTab_)
        session.LiveTabShown();
    else if (core_->State().mode.load() == kModeLive)
        session.LiveTabHidden();
    if (page == netTab_) {
        session.RemoteTabShown();
        netTab_->UpdateTimeReset();
    }
    ShowRecordingMark(); // the mark belongs to the stream of the mode shown
    if (!connecting_ || page == upgradeTab_)
        EnableConnect(page == liveTab_ || loggedIn_ || Reconnecting());
    else
        EnableConnect(true); // it cancels the attempt
}

// ---- Session ------------------------------------------------------------------

void CMainDlg::ConnectTo(const ConnectSettings& settings)
{
    if (connecting_)
        return;
    // The user's own connect replaces a reconnect that is waiting.
    StopReconnecting();
    lastSettings_ = settings;
    lastSettings_.retry = false;
    everLoggedIn_ = false;
    backoff_.Reset();
    StartConnect(lastSettings_, true);
}

bool CMainDlg::StartConnect(const ConnectSettings& settings, bool clearPanes)
{
    StopConnector(); // an earlier attempt's finished thread
    if (!core_->Session().BeginConnect())
        return false;
    if (clearPanes)
        ClearPanes();
    connecting_ = true;
    cancelRequested_ = false;
    // While the attempt waits the button is a Disconnect button: it cancels.
    UpdateConnectButton(true);
    EnableConnect(true);
    // Resolving and connecting may take seconds for an address that does not
    // answer; the window goes on painting while a thread of its own waits.
    connector_ = std::thread([this, settings] {
        const bool ok = core_->Session().OpenConnection(settings.host, settings.port);
        QMetaObject::invokeMethod(
            this, [this, ok, settings] { OnConnectOpened(ok, settings); }, Qt::QueuedConnection);
    });
    return true;
}

void CMainDlg::OnConnectOpened(bool ok, const ConnectSettings& settings)
{
    StopConnector();
    EnableConnect(true);
    if (cancelRequested_) {
        cancelRequested_ = false;
        if (ok)
            core_->Session().AbandonConnection();
        UpdateConnectButton(false);
        return;
    }
    if (!ok) {
        // An attempt to restore a session fails quietly: the panes count
        // down to the next one.
        if (repair_ == Repair::Trying) {
            ScheduleReconnect();
            return;
        }
        UpdateConnectButton(false);
        notifier_.ShowMessage(kConnectFailed, MessageIcon::Warning);
        return;
    }
    if (!core_->Session().CompleteConnect(settings)) {
        if (repair_ == Repair::Trying)
            ScheduleReconnect();
        else
            UpdateConnectButton(false);
    }
}

void CMainDlg::StopConnector()
{
    if (!connector_.joinable())
        return;
    core_->Session().CancelOpen();
    connector_.join();
    connecting_ = false;
}

void CMainDlg::DisconnectFromButton()
{
    StopReconnecting();
    core_->Session().Disconnect();
    const int channelCount = core_->State().channelCount.load();
    for (int pane = 0; pane < 16; ++pane)
        core_->Panes().SetPane(pane, divisions_->PaneChannel(pane), divisions_->PaneVisible(pane),
                               CaptionOfChannel(pane, channelCount));
    ClearPanes();
    core_->Session().Frames().Clear();
}

void CMainDlg::OnSessionChanged(bool loggedIn, const std::string& host)
{
    loggedIn_ = loggedIn;
    UpdateConnectDependent();
    if (loggedIn) {
        everLoggedIn_ = true;
        repair_ = Repair::Off;
        backoff_.Reset();
        ShowViewAfterLogin();
        if (std::exchange(resumeRecording_, false))
            OnRecordButton(true);
        // The local search page is not offered while a DVR is connected.
        const int local = sheet_->indexOf(localTab_);
        if (local >= 0)
            sheet_->removeTab(local);
        setWindowTitle(tr("Network Viewer - %1").arg(QString::fromStdString(host)));
    } else {
        setWindowTitle(tr("Network Viewer"));
        // A session lost after its login is restored, unless the user ends it.
        const SessionEnd end = core_->Session().LastEnd();
        if (end == SessionEnd::Lost && (everLoggedIn_ || repair_ != Repair::Off))
            ScheduleReconnect();
        else
            repair_ = Repair::Off;
        // The local page comes back only when no session is to be restored.
        if (!Reconnecting())
            ShowLocalPage();
        // Nothing more can arrive: the recording's file is closed.
        resumeRecording_ = Reconnecting() && core_->Recorder().IsRecording(kModeLive);
        core_->Recorder().StopRecording();
        ShowRecordingMark();
        for (auto& [id, light] : lights_)
            light->SetState(0);
        // The DVR's pictures end: so does their export, its files complete.
        if (!Reconnecting() && core_->State().mode.load() != kModeLocalPlayback)
            StopAviExport(false);
        ShowAviState();
        EnableConnect(sheet_->currentWidget() == liveTab_ || Reconnecting());
    }
    UpdateConnectButton(loggedIn || Reconnecting());
}

void CMainDlg::OnControlsEnabled(bool enabled)
{
    controlsEnabled_ = enabled;
    UpdateConnectDependent();
}

void CMainDlg::UpdateConnectDependent()
{
    // Both flags come through the bridge's queue in the order the session
    // reported them, so they never disagree with each other here.
    for (QWidget* w : connectDependent_)
        w->setEnabled(controlsEnabled_ && loggedIn_);
}

void CMainDlg::ShowLocalPage()
{
    if (sheet_->indexOf(localTab_) < 0)
        sheet_->insertTab(sheet_->indexOf(upgradeTab_), localTab_, tr("Local"));
}

void CMainDlg::EnableConnect(bool enabled)
{
    Button(ctl::Connect)->setEnabled(enabled && sheet_->currentWidget() != upgradeTab_);
}

void CMainDlg::UpdateConnectButton(bool loggedIn)
{
    CHoverButton* button = Button(ctl::Connect);
    button->LoadSkin(LoadSkin(loggedIn ? 266 : 265));
    button->SetTooltip(LoadText(loggedIn ? 3015 : 3009));
    button->update();
}

void CMainDlg::OnRateTimer()
{
    const RateTexts texts = RateTick(core_->State());
    // What was shown each second, with the wall-clock time, so that a run
    // against a misbehaving DVR can be checked for how soon video came back.
    if (TraceEnabled())
        Trace("shown at " + std::to_string(QDateTime::currentMSecsSinceEpoch()) + ": " + texts.fps);
    if (!fullScreen_) {
        labels_[ctl::FrameRate]->setText(QString::fromStdString(texts.fps));
        labels_[ctl::BitRate]->setText(QString::fromStdString(texts.bps));
    }
    if (CHoverButton* setting = Button(ctl::Setting))
        setting->setEnabled(core_->State().stopFlag.load() && !connecting_ && !Reconnecting());
}

// ---- Full screen ----------------------------------------------------------------

void CMainDlg::EnterFullScreen(bool wholeMonitor)
{
    if (fullScreen_)
        return;
    // The frame's position and the client size, as move() and resize() take them.
    normalGeometry_ = QRect(pos(), size());
    wasMaximized_ = isMaximized();
    fullScreen_ = true;
    monitorFullScreen_ = wholeMonitor;
    hiddenByFullScreen_.clear();
    for (QWidget* w : chrome_) {
        if (w->isVisibleTo(this)) {
            hiddenByFullScreen_.push_back(w);
            w->hide();
        }
    }
    setMinimumSize(kMinFullScreenWidth, kMinFullScreenHeight);
    if (wholeMonitor) {
        showFullScreen();
    } else {
        if (wasMaximized_)
            showNormal();
        if (app_.main.hideCaption)
            setWindowFlag(Qt::FramelessWindowHint, true);
        // The profile's video size, kept on the screen.
        const QRect available = screen()->availableGeometry();
        resize(std::min(std::max(app_.profile.adjustX, kMinFullScreenWidth), available.width()),
               std::min(std::max(app_.profile.adjustY, kMinFullScreenHeight) + 14, available.height()));
        move(normalGeometry_.topLeft());
        show();
    }
    ApplyLayout();
}

void CMainDlg::LeaveFullScreen()
{
    if (!fullScreen_)
        return;
    fullScreen_ = false;
    if (monitorFullScreen_)
        showNormal();
    monitorFullScreen_ = false;
    setWindowFlag(Qt::FramelessWindowHint, false);
    setMinimumSize(kMinimumClientWidth, kMinimumClientHeight);
    resize(normalGeometry_.size());
    move(normalGeometry_.topLeft());
    for (QWidget* w : hiddenByFullScreen_)
        w->show();
    hiddenByFullScreen_.clear();
    if (wasMaximized_)
        showMaximized();
    else
        show();
    ApplyLayout();
}

// ---- Events -------------------------------------------------------------------

void CMainDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (fullScreen_) {
        p.drawPixmap(rect(), videoBackground_);
        return;
    }
    // The pictures overlap as designed: the video picture reaches under the
    // panel and the bar, the bar under the panel. A window taller than the
    // panel's picture continues its last rows.
    const WindowLayout layout = LayOutMainWindow(size(), fullScreen_);
    const auto scaled = [&layout](int length) { return int(std::lround(length * layout.scale)); };
    const int panelX = layout.panel.x();
    const int barY = layout.bar.y();
    p.drawPixmap(QRect(0, 0, panelX + scaled(videoBackground_.width() - kDesignPanelLeft),
                       barY + scaled(videoBackground_.height() - kDesignBarTop)),
                 videoBackground_);
    p.drawPixmap(QRect(0, barY, panelX + scaled(barBackground_.width() - kDesignPanelLeft), layout.bar.height()), barBackground_);
    const int panelHeight = scaled(panelBackground_.height());
    p.drawPixmap(QRect(panelX, 0, layout.panel.width(), panelHeight), panelBackground_);
    if (panelHeight < height()) {
        const QRect lastRows(0, panelBackground_.height() - 8, panelBackground_.width(), 8);
        p.drawPixmap(QRect(panelX, panelHeight, layout.panel.width(), height() - panelHeight), panelBackground_,
                     lastRows);
    }
}

void CMainDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ApplyLayout();
}

void CMainDlg::wheelEvent(QWheelEvent* event)
{
    // Towards the user pages forward, away from the user one page back.
    const bool applied = event->angleDelta().y() < 1 ? divisions_->WheelForward() : divisions_->WheelBack();
    if (applied)
        PlacePanesNow();
    event->accept();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // The window's own menu (the panes have theirs): "About Kestrova..." and
    // the reset of every pane.
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("windowMenu"));
    QAction* about = menu.addAction(LoadText(101));
    menu.addSeparator();
    QAction* resetAll = menu.addAction(QCoreApplication::translate("tarnvik::Snapshots", "Reset All Channels"));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == resetAll)
        ResetAllPanes();
    else if (chosen == about)
        notifier_.ShowMessage("Kestrova - TarnvikPlayer " TARNVIK_VERSION "\n" +
                                  tr("DVR network viewer with the Quorlin H.264 decoder").toStdString(),
                              MessageIcon::Information);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees its keys before the focused control does, so that a
    // focused button never acts on the window's keys (Space, Enter, Escape).
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (type == QEvent::KeyPress ? OnKeyPress(key) : OnKeyRelease(key))
                return true;
        }
    } else if (type == QEvent::WindowDeactivate && watched == this) {
        StopKeyPtz(); // the key's release goes to another window now
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarnvik
