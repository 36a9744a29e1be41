#include "MainDlg.h"

#include "app/controls/ControlLogic.h"
#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/strings/MainWindowSizing.h"
#include "app/strings/StringTable.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "storage/LocalPlayer.h"
#include "video/AudioPlayer.h"
#include "net/ReceptionStatus.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QLabel>
#include <QPainter>
#include <QTabWidget>
#include <QWheelEvent>

namespace tarnvik {

QPixmap LoadSkin(int resourceId); // MainDlgPanel.cpp

namespace {

// The window keeps the client area the layouts are designed for.
constexpr int kDesignWidth = kDesignClientWidth;
constexpr int kDesignHeight = kDesignClientHeight;
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
                   Qt::WindowCloseButtonHint);

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
        bool hasVideo = false;
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
    divisions_ = std::make_unique<DivisionState>(core_->Panes(), core_->Renderer(), core_->State(), noVideo_, hooks);
    ptzRepeater_ = std::make_unique<PtzRepeater>([this](uint8_t op) { core_->Session().SendPtz(op); });

    BuildControlPanel();
    BuildBottomBar();
    BuildSheet();
    BuildPanes();
    BuildPlayback();
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

    setFixedSize(kDesignWidth, kDesignHeight);
    move(0, 0);
    SetAudioMute(true);
    // Enter and Escape never close the window; in full screen they leave it.
    qApp->installEventFilter(this);
}

CMainDlg::~CMainDlg()
{
    qApp->removeEventFilter(this);
    rateTimer_.stop();
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

void CMainDlg::ApplyChannelCount(int channelCount)
{
    for (int id : {ctl::Div1, ctl::Div4, ctl::Div6, ctl::Div8, ctl::Div9, ctl::Div10, ctl::Div13, ctl::Div16})
        buttons_[id]->setEnabled(DivisionUsable(DivisionOfButton(id), channelCount));
    if (channelCount == 1)
        divisions_->SetDivision(1, 0, true, false);
    else
        divisions_->SetDivision(channelCount, -1, true, false);
    PlacePanesNow();
}

void CMainDlg::PlacePanesNow()
{
    const PaneRects rects = PlacePanes(width(), height(), fullScreen_, *divisions_, barBackground_.width(),
                                       videoBackground_.height());
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
        button->SetTooltip(LoadText(mute ? 3019 : 3020));
        button->update();
    }
}

void CMainDlg::OnSheetPageChanged(int index)
{
    QWidget* page = sheet_->widget(index);
    DvrSession& session = core_->Session();
    // Hiding the local page closes what it plays; the window is live again.
    if (page != localTab_ && player_ && player_->Running()) {
        StopPlayback();
        core_->State().mode = kModeLive;
    }
    ShowPlaybackControls(page == localTab_);
    if (page == localTab_)
        core_->State().mode = kModeLocalPlayback;
    ShowRecordingMark(); // the mark belongs to the stream of the mode shown
    if (page == liveTab_)
        session.LiveTabShown();
    else if (core_->State().mode.load() == kModeLive)
        session.LiveTabHidden();
    if (!connecting_)
        Button(ctl::Connect)->setEnabled(page == liveTab_ || loggedIn_);
}

// ---- Session ------------------------------------------------------------------

void CMainDlg::ConnectTo(const ConnectSettings& settings)
{
    if (connecting_)
        return;
    StopConnector(); // an earlier attempt's finished thread
    if (!core_->Session().BeginConnect())
        return;
    ClearPanes();
    connecting_ = true;
    Button(ctl::Connect)->setEnabled(false);
    // Resolving and connecting may take seconds for an address that does not
    // answer; the window goes on painting while a thread of its own waits.
    connector_ = std::thread([this, settings] {
        const bool ok = core_->Session().OpenConnection(settings.host, settings.port);
        QMetaObject::invokeMethod(
            this, [this, ok, settings] { OnConnectOpened(ok, settings); }, Qt::QueuedConnection);
    });
}

void CMainDlg::OnConnectOpened(bool ok, const ConnectSettings& settings)
{
    StopConnector();
    Button(ctl::Connect)->setEnabled(true);
    if (!ok) {
        notifier_.ShowMessage(kConnectFailed, MessageIcon::Warning);
        return;
    }
    core_->Session().CompleteConnect(settings);
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
        ApplyChannelCount(core_->State().channelCount.load());
        // The local search page is not offered while a DVR is connected.
        const int local = sheet_->indexOf(localTab_);
        if (local >= 0)
            sheet_->removeTab(local);
        setWindowTitle(QStringLiteral("Network Viewer - %1").arg(QString::fromStdString(host)));
    } else {
        setWindowTitle(QStringLiteral("Network Viewer"));
        if (sheet_->indexOf(localTab_) < 0)
            sheet_->addTab(localTab_, tr("Local"));
        // Nothing more can arrive: the recording's file is closed.
        core_->Recorder().StopRecording();
        ShowRecordingMark();
        for (auto& [id, light] : lights_)
            light->SetState(0);
        Button(ctl::Connect)->setEnabled(sheet_->currentWidget() == liveTab_);
    }
    UpdateConnectButton(loggedIn);
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
    if (!fullScreen_) {
        labels_[ctl::FrameRate]->setText(QString::fromStdString(texts.fps));
        labels_[ctl::BitRate]->setText(QString::fromStdString(texts.bps));
    }
    if (CHoverButton* setting = Button(ctl::Setting))
        setting->setEnabled(core_->State().stopFlag.load() && !connecting_);
}

// ---- Full screen ----------------------------------------------------------------

void CMainDlg::EnterFullScreen()
{
    if (fullScreen_)
        return;
    normalPosition_ = pos();
    fullScreen_ = true;
    hiddenByFullScreen_.clear();
    for (QWidget* w : chrome_) {
        if (w->isVisibleTo(this)) {
            hiddenByFullScreen_.push_back(w);
            w->hide();
        }
    }
    if (app_.main.hideCaption)
        setWindowFlag(Qt::FramelessWindowHint, true);
    setMinimumSize(kMinFullScreenWidth, kMinFullScreenHeight);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(std::max(app_.profile.adjustX, kMinFullScreenWidth), std::max(app_.profile.adjustY, kMinFullScreenHeight) + 14);
    move(normalPosition_);
    show();
    PlacePanesNow();
    update();
}

void CMainDlg::LeaveFullScreen()
{
    if (!fullScreen_)
        return;
    fullScreen_ = false;
    setWindowFlag(Qt::FramelessWindowHint, false);
    setFixedSize(kDesignWidth, kDesignHeight);
    move(normalPosition_);
    for (QWidget* w : hiddenByFullScreen_)
        w->show();
    hiddenByFullScreen_.clear();
    show();
    PlacePanesNow();
    update();
}

// ---- Events -------------------------------------------------------------------

void CMainDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (fullScreen_) {
        p.drawPixmap(rect(), videoBackground_);
        return;
    }
    p.drawPixmap(0, 0, videoBackground_);
    p.drawPixmap(0, kDesignHeight - barBackground_.height(), barBackground_);
    p.drawPixmap(width() - panelBackground_.width(), 0, panelBackground_);
}

void CMainDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlacePanesNow();
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
    // The window's own menu (the panes will have theirs): "About Kestrova...".
    QMenu menu(this);
    QAction* about = menu.addAction(LoadText(101));
    if (menu.exec(event->globalPos()) == about)
        notifier_.ShowMessage("Kestrova - TarnvikPlayer " TARNVIK_VERSION "\nDVR network viewer with the Quorlin H.264 decoder",
                              MessageIcon::Information);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool ours = widget && widget->window() == this;
        const bool enterOrEscape =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
        if (ours && enterOrEscape) {
            if (fullScreen_)
                LeaveFullScreen();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarnvik
