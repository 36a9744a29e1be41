// The main window's furniture: the skinned buttons of the control panel,
// the bar under the video area, the property sheet and the panes. Where
// each control sits is a table in the 1017 x 755 design client area.
#include "MainDlg.h"

#include "app/controls/BitmapSlider.h"
#include "app/controls/ControlLogic.h"
#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

static void InitSkinResources()
{
    Q_INIT_RESOURCE(skins);
}

namespace tarnvik {

QPixmap LoadSkin(int resourceId)
{
    static const bool initialised = (InitSkinResources(), true);
    (void)initialised;
    return QPixmap(QStringLiteral(":/skins/%1.jpg").arg(resourceId));
}

namespace {

struct PanelButton {
    int id;
    int image;
    int tooltip; // English string id
    int x, y;
};

// The control panel starts right of the video area's seam at x = 820.
constexpr PanelButton kPanelButtons[] = {
    // Session and recording commands (44 x 40).
    {ctl::Connect, 265, 3009, 828, 12},
    {ctl::Setting, 268, 3016, 874, 12},
    {ctl::DvrSetting, 321, 3065, 920, 12},
    {ctl::RecordAvi, 264, 3008, 966, 12},
    {ctl::DvrRecordStart, 269, 3017, 828, 56},
    {ctl::DvrRecordStop, 270, 3018, 874, 56},
    {ctl::Mute, 271, 3019, 920, 56},
    {ctl::FullScreen, 267, 0, 966, 56},
    // Divisions (40 x 32), four to a row.
    {ctl::Div1, 256, 3000, 830, 108},
    {ctl::Div4, 257, 3001, 876, 108},
    {ctl::Div6, 258, 3002, 922, 108},
    {ctl::Div8, 259, 3003, 968, 108},
    {ctl::Div9, 260, 3004, 830, 144},
    {ctl::Div10, 261, 3005, 876, 144},
    {ctl::Div13, 262, 3006, 922, 144},
    {ctl::Div16, 263, 3007, 968, 144},
    // Modes (44 x 40).
    {ctl::FileMode, 274, 3021, 828, 188},
    {ctl::HddPlayback, 275, 3023, 874, 188},
    {ctl::TimeSearch, 273, 3022, 920, 188},
    // Pan, tilt, zoom and focus (36 x 36): the arrows as a cross, zoom
    // above and focus below on either side.
    {ctl::ZoomOut, 281, 0, 858, 240},
    {ctl::PtzUp, 280, 3027, 902, 240},
    {ctl::ZoomIn, 282, 0, 946, 240},
    {ctl::PtzLeft, 276, 3024, 858, 280},
    {ctl::PtzRight, 278, 3025, 946, 280},
    {ctl::FocusNear, 284, 3030, 858, 320},
    {ctl::PtzDown, 279, 3026, 902, 320},
    {ctl::FocusFar, 283, 3031, 946, 320},
    // Transport of remote and local playback (36 x 28); shown by those modes.
    {ctl::OpenFile, 286, 3033, 830, 702},
    {ctl::RemotePlay, 287, 3034, 830, 672},
    {ctl::RemoteStop, 288, 3035, 868, 672},
    {ctl::RemoteStepRw, 292, 3039, 906, 672},
    {ctl::RemoteStepFf, 291, 3038, 944, 672},
    {ctl::RemoteFf, 289, 0, 944, 368},
    {ctl::RemoteRw, 290, 0, 982, 368},
    {ctl::LocalPlay, 287, 3040, 830, 672},
    {ctl::LocalStop, 288, 3041, 868, 672},
    {ctl::LocalRw, 290, 3043, 906, 672},
    {ctl::LocalFf, 289, 3042, 944, 672},
    {ctl::LocalStepRw, 292, 3045, 982, 672},
    {ctl::LocalStepFf, 291, 3044, 868, 702},
    {ctl::TimeReset, 294, 3046, 868, 432},
};

// Transport buttons: hidden in live viewing.
constexpr int kTransport[] = {ctl::OpenFile,  ctl::RemotePlay, ctl::RemoteStop,  ctl::RemoteStepFf,
                              ctl::RemoteStepRw, ctl::RemoteFf, ctl::RemoteRw,  ctl::LocalPlay,
                              ctl::LocalStop, ctl::LocalFf,    ctl::LocalRw,     ctl::LocalStepFf,
                              ctl::LocalStepRw, ctl::TimeReset};
constexpr int kNeedsLogin[] = {ctl::DvrRecordStart, ctl::DvrRecordStop, ctl::PtzLeft,
                               ctl::PtzRight,       ctl::PtzUp,         ctl::PtzDown,    ctl::ZoomIn,
                               ctl::ZoomOut,        ctl::FocusFar,      ctl::FocusNear};

const QColor kPanelText(214, 220, 230);

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kPanelText);
    label->setPalette(palette);
    return label;
}

} // namespace

void CMainDlg::BuildControlPanel()
{
    for (const PanelButton& entry : kPanelButtons) {
        auto* button = new CHoverButton(this);
        button->setObjectName(QStringLiteral("ctl%1").arg(entry.id));
        button->SetControlId(entry.id);
        button->SetCode(uint32_t(entry.id));
        const QPixmap skin = LoadSkin(entry.image);
        button->LoadSkin(skin);
        button->setGeometry(entry.x, entry.y, button->FaceWidth(), button->FaceHeight());
        // The window's keys act on the window, never on a focused button.
        button->setFocusPolicy(Qt::NoFocus);
        QString tooltip = entry.tooltip ? LoadText(entry.tooltip) : QString();
        // Texts without a string id (ids 3028 and 3029 read "Left" and
        // "Right", which the zoom buttons do not do).
        if (entry.id == ctl::FullScreen)
            tooltip = tr("Full Screen");
        else if (entry.id == ctl::ZoomOut)
            tooltip = tr("Zoom out");
        else if (entry.id == ctl::ZoomIn)
            tooltip = tr("Zoom in");
        if (!tooltip.isEmpty())
            button->SetTooltip(WithKey(entry.id, tooltip));
        connect(button, &CHoverButton::clicked, this, [this, id = entry.id] { OnButtonClicked(id); });
        connect(button, &CHoverButton::Notify, this,
                [this, id = entry.id](std::uint32_t message, qint64, qint64) { OnHoverNotify(id, message); });
        buttons_[entry.id] = button;
        chrome_.push_back(button);
    }
    for (int id : kTransport)
        buttons_[id]->hide();
    for (int id : kNeedsLogin)
        connectDependent_.push_back(buttons_[id]);

    // The position slider of local playback: its bitmaps now, shown by that mode.
    slider_ = new CBitmapSlider(this);
    slider_->setObjectName(QStringLiteral("ctl%1").arg(ctl::PositionSlider));
    slider_->SetControlId(ctl::PositionSlider);
    slider_->SetChannelBitmaps(LoadSkin(296), LoadSkin(295));
    slider_->SetThumbBitmaps(LoadSkin(298), LoadSkin(297));
    slider_->setGeometry(908, 708, 102, 16);
    slider_->hide();
}

void CMainDlg::BuildBottomBar()
{
    // The bar under the video area: rates and the three indicator lights.
    constexpr int kBarY = 693;
    labels_[ctl::SpeedLabel] = MakeLabel(this, tr("Speed :"), 24, kBarY + 20, 56, 22);
    labels_[ctl::FrameRate] = MakeLabel(this, QStringLiteral("0 fps"), 82, kBarY + 20, 90, 22);
    labels_[ctl::BitrateLabel] = MakeLabel(this, tr("Bitrate :"), 180, kBarY + 20, 64, 22);
    labels_[ctl::BitRate] = MakeLabel(this, QStringLiteral("0 bps"), 246, kBarY + 20, 130, 22);
    for (auto& [id, label] : labels_) {
        label->setObjectName(QStringLiteral("ctl%1").arg(id));
        chrome_.push_back(label);
    }

    struct Light {
        int id;
        int text; // English string id; 0: "AVI", the same in every language
        int lit;
        int x;
    };
    const Light lights[] = {{ctl::RecLight, 3064, 181, 436}, {ctl::AviLight, 0, 178, 532},
                            {ctl::BackupLight, 3079, 179, 628}};
    for (const Light& entry : lights) {
        auto* light = new CLedButton(this);
        light->setObjectName(QStringLiteral("ctl%1").arg(entry.id));
        light->setText(entry.text ? LoadText(entry.text) : QStringLiteral("AVI"));
        light->SetStateIcons(180, entry.lit);
        light->SetStateColours(0, kPanelText, QColor(33, 38, 46));
        light->SetStateColours(1, QColor(255, 255, 255), QColor(33, 38, 46));
        light->setGeometry(entry.x, kBarY + 18, 92, 26);
        lights_[entry.id] = light;
        chrome_.push_back(light);
    }

    // "&Backup" beside its light: a time range of what local playback has open.
    backupButton_ = new QToolButton(this);
    backupButton_->setText(tr("&Backup"));
    backupButton_->setObjectName(QStringLiteral("ctl%1").arg(ctl::Backup));
    backupButton_->setGeometry(728, kBarY + 20, 88, 22);
    backupButton_->setFocusPolicy(Qt::NoFocus);
    backupButton_->setToolTip(LoadText(3079));
    backupButton_->setEnabled(false);
    connect(backupButton_, &QToolButton::clicked, this, [this] { StartBackup(); });
    chrome_.push_back(backupButton_);
}

void CMainDlg::BuildSheet()
{
    sheet_ = new QTabWidget(this);
    sheet_->setObjectName(QStringLiteral("ctl%1").arg(ctl::SheetFrame));
    liveTab_ = new CTabLive(sheet_);
    netTab_ = new CTabNetSearch(sheet_);
    localTab_ = new CTabLocalSearch(sheet_);
    sheet_->addTab(liveTab_, tr("Live"));
    sheet_->addTab(netTab_, tr("Remote"));
    sheet_->addTab(localTab_, tr("Local"));
    // The upgrade page chooses its DVR through the logon dialog, as Connect does.
    UpgradeHooks upgradeHooks = options_.upgrade;
    if (!upgradeHooks.askDvr)
        upgradeHooks.askDvr = options_.askLogon;
    upgradeTab_ = new CTabUpgrade(ini_, app_, notifier_, std::move(upgradeHooks), sheet_);
    sheet_->addTab(upgradeTab_, tr("Upgrade"));
    sheet_->setGeometry(826, 368, 186, 300);
    // Four pages share the panel's narrow sheet: tighter tabs keep every
    // title in view, without scroll arrows.
    sheet_->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 3px; }"));
    chrome_.push_back(sheet_);

    // Space pauses and plays from anywhere in the window.
    const QString space = QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText);
    liveTab_->PlayButton()->setToolTip(QStringLiteral("%1 (%2)").arg(tr("Play"), space));
    liveTab_->PauseButton()->setToolTip(QStringLiteral("%1 (%2)").arg(tr("Pause"), space));
    connectDependent_.push_back(liveTab_->PlayButton());
    connectDependent_.push_back(liveTab_->PauseButton());
    connectDependent_.push_back(liveTab_->AudioSwitch());
    for (int i = 0; i < 8; ++i)
        connectDependent_.push_back(liveTab_->PtzButton(i));

    DvrSession& session = core_->Session();
    connect(liveTab_, &CTabLive::PlayClicked, this, [&session] { session.LivePlay(); });
    connect(liveTab_, &CTabLive::PauseClicked, this, [&session] { session.LivePause(); });
    connect(liveTab_, &CTabLive::AudioToggled, this, [this, &session](bool on) {
        core_->State().audioOn = on;
        session.AudioSwitched();
    });
    connect(liveTab_, &CTabLive::PtzPressed, this, [&session](std::uint8_t op) { session.PtzPress(op); });
    connect(liveTab_, &CTabLive::PtzReleased, this, [&session] { session.PtzRelease(); });
    connect(sheet_, &QTabWidget::currentChanged, this, &CMainDlg::OnSheetPageChanged);
}

void CMainDlg::BuildPanes()
{
    for (int pane = 0; pane < 16; ++pane) {
        auto* camera = new COneCamera(pane, core_->Panes(), *divisions_, core_->State(), this);
        connect(camera, &COneCamera::Clicked, this,
                [this](int p) { divisions_->Select(divisions_->CaptionChannel(p)); });
        connect(camera, &COneCamera::DoubleClicked, this, [this](int p) {
            if (divisions_->DoubleClick(p))
                PlacePanesNow();
        });
        connect(camera, &COneCamera::FullScreenRequested, this, [this] {
            if (fullScreen_)
                LeaveFullScreen();
            else
                EnterFullScreen(true);
        });
        ConnectPaneMenu(camera);
        camera->hide();
        panes_[size_t(pane)] = camera;
    }
}

CHoverButton* CMainDlg::Button(int controlId) const
{
    auto it = buttons_.find(controlId);
    return it == buttons_.end() ? nullptr : it->second;
}

QLabel* CMainDlg::Label(int controlId) const
{
    auto it = labels_.find(controlId);
    return it == labels_.end() ? nullptr : it->second;
}

CLedButton* CMainDlg::Light(int controlId) const
{
    auto it = lights_.find(controlId);
    return it == lights_.end() ? nullptr : it->second;
}

COneCamera* CMainDlg::Pane(int pane) const
{
    return pane >= 0 && pane < 16 ? panes_[size_t(pane)] : nullptr;
}

} // namespace tarnvik
