// Local playback in the main window: opening a backup, a recording, a
// volume or the DVR disk, the playback page and bar, the position slider,
// the time search; and the stream recorder's buttons and REC mark.
#include "MainDlg.h"

#include "app/controls/BitmapSlider.h"
#include "app/controls/ControlLogic.h"
#include "app/controls/HoverButton.h"
#include "app/dialogs/HddPlayDialog.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "storage/PlaybackSources.h"
#include "video/AudioPlayer.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QFileDialog>
#include <QToolButton>
#include <QTabWidget>

#include <filesystem>

namespace tarnvik {

namespace {

// The player's reports, queued to the window's thread.
class WindowPlayerEvents : public PlayerEvents {
public:
    explicit WindowPlayerEvents(CMainDlg* window, std::function<void(int, int, bool)> changed,
                                std::function<void(uint64_t, uint32_t)> position,
                                std::function<void(const std::string&, uint32_t, int)> status)
        : window_(window), changed_(std::move(changed)), position_(std::move(position)), status_(std::move(status))
    {
    }
    void PlayerChanged(int state, int speed, bool atEnd) override
    {
        QMetaObject::invokeMethod(window_, [=, this] { changed_(state, speed, atEnd); }, Qt::QueuedConnection);
    }
    void PlayerPosition(uint64_t offset, uint32_t time) override
    {
        QMetaObject::invokeMethod(window_, [=, this] { position_(offset, time); }, Qt::QueuedConnection);
    }
    void PlayerStatus(const std::string& line, uint32_t time, int milliseconds) override
    {
        QMetaObject::invokeMethod(window_, [=, this] { status_(line, time, milliseconds); }, Qt::QueuedConnection);
    }

private:
    QPointer<CMainDlg> window_;
    std::function<void(int, int, bool)> changed_;
    std::function<void(uint64_t, uint32_t)> position_;
    std::function<void(const std::string&, uint32_t, int)> status_;
};

constexpr int kLocalBar[] = {ctl::LocalPlay,   ctl::LocalStop,   ctl::LocalFf,  ctl::LocalRw,
                             ctl::LocalStepFf, ctl::LocalStepRw, ctl::OpenFile};

} // namespace

void CMainDlg::BuildPlayback()
{
    audio_ = std::make_unique<CAudioPlayer>();
    playerEvents_ = std::make_unique<WindowPlayerEvents>(
        this, [this](int state, int speed, bool atEnd) { OnPlayerChanged(state, speed, atEnd); },
        [this](uint64_t offset, uint32_t time) { OnPlayerPosition(offset, time); },
        [this](const std::string& line, uint32_t time, int ms) { OnPlayerStatus(line, time, ms); });
    PlayerOptions options;
    options.pacing = options_.playbackPacing;
    player_ = std::make_unique<LocalPlayer>(core_->State(), core_->Renderer(), &core_->Channels().DecodeLock(),
                                            audio_.get(), playerEvents_.get(), options);

    for (int id : kLocalBar)
        playbackBar_.push_back(Button(id));
    playbackBar_.push_back(slider_);
    chrome_.push_back(slider_); // the buttons are there already
    connect(slider_, &CBitmapSlider::Notify, this,
            [this](std::uint32_t message, qint64, qint64) { OnSliderNotify(message); }, Qt::QueuedConnection);

    connect(localTab_, &CTabLocalSearch::OpenClicked, this, [this] { OnLocalButton(ctl::FileMode); });
    connect(localTab_, &CTabLocalSearch::FirstClicked, this, [this] { player_->MoveToFirst(); });
    connect(localTab_, &CTabLocalSearch::StepPrevClicked, this, [this] { player_->StepPrev(); });
    connect(localTab_, &CTabLocalSearch::PlayClicked, this, [this] { player_->PlayPause(); });
    connect(localTab_, &CTabLocalSearch::StepNextClicked, this, [this] { player_->StepNext(); });
    connect(localTab_, &CTabLocalSearch::LastClicked, this, [this] { player_->MoveToLast(); });

    // The recorder reports from whichever thread started or stopped it.
    core_->Recorder().SetFolder(app_.profile.recPath);
    core_->Recorder().onStateChanged = [this](int) {
        QMetaObject::invokeMethod(this, [this] { ShowRecordingMark(); }, Qt::QueuedConnection);
    };
}

std::string CMainDlg::AskPath(int controlId)
{
    if (options_.askPath)
        return options_.askPath(controlId);
    const QString folder = QString::fromStdString(app_.profile.recPath);
    QString path;
    if (controlId == ctl::OpenFile)
        path = QFileDialog::getOpenFileName(this, tr("Open a DVR volume or image"), QStringLiteral("/dev"),
                                            tr("All files (*)"));
    else
        path = QFileDialog::getOpenFileName(this, LoadText(3021), folder,
                                            tr("DVR Files (*.dvr *.DVR);;Recordings (*.avs);;All files (*)"));
    return path.toStdString();
}

void CMainDlg::ShowPlaybackControls(bool shown)
{
    for (QWidget* w : playbackBar_)
        w->setVisible(shown && !fullScreen_);
}

bool CMainDlg::OpenPlayback(const std::string& path)
{
    StopPlayback();
    PlayerSource source;
    std::string message;
    if (OpenFileSource(path, source, message) != OpenResult::Ok) {
        notifier_.ShowMessage(message, MessageIcon::Warning);
        return false;
    }
    return StartPlayback(std::move(source), QString::fromStdString(std::filesystem::path(path).filename().string()));
}

bool CMainDlg::OpenVolume(const std::string& path)
{
    StopPlayback();
    PlayerSource source;
    std::string message;
    const OpenResult result = OpenVolumeSource(path, source, message);
    if (result == OpenResult::Failed) {
        notifier_.ShowMessage(message, MessageIcon::Warning);
        return false;
    }
    if (result == OpenResult::SignatureInvalid &&
        notifier_.ShowMessage(kSignatureInvalid, MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes)
        return false;
    if (result == OpenResult::SignatureInvalid && RequireBlocks(source, path, message) != OpenResult::Ok) {
        notifier_.ShowMessage(message, MessageIcon::Warning);
        return false;
    }
    return StartPlayback(std::move(source), QString::fromStdString(path));
}

bool CMainDlg::OpenDvrDisk()
{
    StopPlayback();
    const std::optional<DvrDisk> disk = DvrDiskLocator(options_.diskPaths).Find();
    PlayerSource source;
    std::string message;
    if (!disk || OpenDiskSource(*disk, source, message) != OpenResult::Ok) {
        // A disk that was found but cannot be read says why (often the
        // rights on its device).
        std::string text = LoadText(3068).toStdString();
        if (disk && !message.empty() && message != kOpenFileError)
            text += "\n" + message;
        notifier_.ShowMessage(text, MessageIcon::Warning);
        return false;
    }
    const QString car = QString::fromStdString(source.carId);
    return StartPlayback(std::move(source), QStringLiteral("%1 %2").arg(QString::fromStdString(disk->videoDevice), car));
}

bool CMainDlg::StartPlayback(PlayerSource&& source, const QString& title)
{
    // The pictures of another source do not go on in the same AVI files.
    StopAviExport(false);
    // A connected DVR stops sending; the session stays open.
    core_->Session().LocalPlaybackStarted();
    core_->State().mode = kModeLocalPlayback;
    {
        // Frames of the DVR still in flight decode under the same lock.
        std::lock_guard<std::mutex> guard(core_->Channels().DecodeLock());
        core_->Renderer().DropHandedOverPictures();
        core_->Channels().RecreateDecoders();
    }
    ClearPanes();
    ShowLocalPage();
    sheet_->setCurrentWidget(localTab_);
    ShowPlaybackControls(true);
    slider_->SetRange(0, std::max<int64_t>(source.SliderMaximum(), 0));
    slider_->SetPosition(0);
    localTab_->SetSourceText(title);
    localTab_->SetStatusText(QString());
    localTab_->EnableTransport(true);
    Button(ctl::TimeSearch)->setEnabled(true);
    backupButton_->setEnabled(true);
    SetAudioMute(false);
    player_->Start(std::move(source));
    return true;
}

void CMainDlg::StopPlayback()
{
    if (!player_ || !player_->Running())
        return;
    player_->Stop();
    StopAviExport(false); // what was exported of the source is complete
    backupButton_->setEnabled(false);
    localTab_->EnableTransport(false);
    localTab_->ShowPlaying(false);
    localTab_->SetSpeedText(QString());
    SetAudioMute(true);
}

void CMainDlg::OnLocalButton(int controlId)
{
    switch (controlId) {
    case ctl::FileMode:
        if (const std::string path = AskPath(controlId); !path.empty())
            OpenPlayback(path);
        return;
    case ctl::OpenFile:
        if (const std::string path = AskPath(controlId); !path.empty())
            OpenVolume(path);
        return;
    case ctl::HddPlayback:
        OpenDvrDisk();
        return;
    case ctl::TimeSearch:
        OnTimeSearch();
        return;
    case ctl::LocalPlay:
        player_->PlayPause();
        return;
    case ctl::LocalStop:
        StopPlayback();
        return;
    case ctl::LocalFf:
        player_->FastForward();
        return;
    case ctl::LocalRw:
        player_->FastBackward();
        return;
    case ctl::LocalStepFf:
        player_->StepNext();
        return;
    case ctl::LocalStepRw:
        player_->StepPrev();
        return;
    default:
        return;
    }
}

const PlayerSource* CMainDlg::PlayingSource() const
{
    return player_ && player_->Running() ? player_->Source() : nullptr;
}

void CMainDlg::OnTimeSearch()
{
    // Without a source the DVR disk is the one searched.
    if (!player_->Running() && !OpenDvrDisk())
        return;
    const PlayerSource* source = player_->Source();
    if (!source)
        return;
    HddPlayTexts texts;
    texts.title = LoadText(3077);
    texts.startLabel = LoadText(3069);
    texts.endLabel = LoadText(3070);
    texts.searchTime = LoadText(3076);
    texts.play = LoadText(3073);
    texts.search = LoadText(3075);
    texts.cancel = LoadText(3074);
    CHddPlayDlg dialog(texts, source->firstTime, source->lastTime, this);
    const int choice = options_.askTime ? options_.askTime(dialog) : dialog.exec();
    if (choice == CHddPlayDlg::Cancelled)
        return;
    if (choice == CHddPlayDlg::Search) {
        const std::optional<uint64_t> position = source->FindTimePosition(dialog.ChosenTime());
        if (!position) {
            notifier_.ShowMessage(LoadText(3078).toStdString(), MessageIcon::Information);
            return;
        }
        player_->SeekTo(*position);
    }
    if (player_->State() != kStatePlaying) {
        player_->BeginSeek(); // fast motion ends first; Play would only pause it
        player_->PlayPause();
    }
}

void CMainDlg::OnSliderNotify(std::uint32_t message)
{
    const PlayerSource* source = player_->Source();
    if (!source)
        return;
    if (message == kMsgSliderMoving)
        player_->BeginSeek();
    else if (message == kMsgSliderMoved)
        player_->SeekTo(source->SliderTarget(slider_->Position()));
}

void CMainDlg::OnPlayerChanged(int state, int speed, bool atEnd)
{
    const bool playing = state == kStatePlaying;
    localTab_->ShowPlaying(playing);
    localTab_->SetSpeedText(QString::fromStdString(SpeedLabel(speed)));
    (void)atEnd;
}

void CMainDlg::OnPlayerPosition(std::uint64_t offset, std::uint32_t time)
{
    const PlayerSource* source = player_->Source();
    if (!source)
        return;
    if (!slider_->Dragging())
        slider_->SetPosition(source->SliderValue(offset, time));
    localTab_->SetTimeText(QString::fromStdString(FormatIndexTime(time)));
}

void CMainDlg::OnPlayerStatus(const std::string& line, std::uint32_t time, int)
{
    localTab_->SetStatusText(QString::fromStdString(line));
    localTab_->SetTimeText(QString::fromStdString(FormatIndexTime(time)));
}

// ---- Stream recording ---------------------------------------------------------------

void CMainDlg::OnRecordButton(bool start)
{
    StreamRecorder& recorder = core_->Recorder();
    const int mode = core_->State().mode.load();
    if (mode != kModeLive && mode != kModeRemotePlayback)
        return;
    recorder.SetFolder(app_.profile.recPath);
    if (start)
        recorder.StartRecording(mode);
    else if (recorder.IsRecording(mode))
        recorder.StopRecording();
    ShowRecordingMark();
}

void CMainDlg::ShowRecordingMark()
{
    const bool recording = core_->Recorder().IsRecording(core_->State().mode.load());
    const QString mark = recording ? LoadText(3064) : QString();
    for (COneCamera* pane : panes_) {
        if (pane) {
            pane->SetRecordingText(mark);
            pane->update();
        }
    }
}

} // namespace tarnvik
