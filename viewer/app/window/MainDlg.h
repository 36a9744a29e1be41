// CMainDlg: the main window. It owns the viewer core (panes, decoders,
// renderer, session), the division state, the skinned control panel, the
// property sheet with the live, remote and local pages, and the one-second
// rate timer. Widgets only draw and forward: divisions, requests and
// profile rules live in the classes they call.
#pragma once

#include "app/ConnectionProfile.h"
#include "app/DvrSetupFile.h"
#include "app/window/QtUiBridge.h"
#include "app/window/TabUpgrade.h"
#include "net/DvrSession.h"
#include "net/PtzRepeater.h"
#include "net/ReconnectBackoff.h"
#include "storage/AviWriter.h"
#include "storage/DvrDiskLocator.h"
#include "video/SignalWatch.h"

#include <QDateTime>
#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class QDateEdit;
class QKeyEvent;
class QLabel;
class QPrinter;
class QToolButton;
class QTabWidget;
class QTimeEdit;

namespace tarnvik {

class CAudioPlayer;
class CBitmapSlider;
class LocalPlayer;
class PlayerEvents;
struct PlayerSource;
class CHoverButton;
class CLedButton;
class COneCamera;
class CPrintDlg;
class Image;
class CTabLive;
class CTabLocalSearch;
class CTabNetSearch;
class DivisionState;
class IniFile;
class Notifier;
class ViewerCore;

// Control ids of the main window: the numbers its controls carry in their
// notifications.
namespace ctl {
inline constexpr int Connect = 1002, Setting = 1026, DvrSetting = 1078, RecordAvi = 1051;
inline constexpr int DvrRecordStart = 1060, DvrRecordStop = 1061, Mute = 1166, FullScreen = 1173;
inline constexpr int Div1 = 1070, Div4 = 1071, Div6 = 1075, Div8 = 1074, Div9 = 1072, Div10 = 1076,
                     Div13 = 1077, Div16 = 1073;
inline constexpr int FileMode = 1187, HddPlayback = 1189, TimeSearch = 1188;
inline constexpr int PtzLeft = 1323, PtzRight = 1324, PtzDown = 1326, PtzUp = 1325;
inline constexpr int ZoomOut = 1327, ZoomIn = 1328, FocusNear = 1330, FocusFar = 1329;
inline constexpr int OpenFile = 1179, RemotePlay = 1181, RemoteStop = 1182, RemoteStepFf = 1186,
                     RemoteStepRw = 1190, RemoteFf = 1183, RemoteRw = 1185;
inline constexpr int DatePicker = 1196, TimePicker = 1197;
inline constexpr int LocalPlay = 1184, LocalStop = 1191, LocalFf = 1192, LocalRw = 1193, LocalStepFf = 1194,
                     LocalStepRw = 1195, TimeReset = 1198;
inline constexpr int FrameRate = 1208, BitRate = 1170, SpeedLabel = 1202, BitrateLabel = 1203;
inline constexpr int RecLight = 1301, AviLight = 1302, BackupLight = 1303, Backup = 1052;
inline constexpr int PositionSlider = 1143, FrameList = 1007, SheetFrame = 1000;
} // namespace ctl

// Command ids of the pane's context menu (askPath is asked with the first two).
namespace cmd {
inline constexpr int SaveImage = 32000, SaveImageAll = 32001, ResetChannel = 32002, PrintImage = 32792;
} // namespace cmd

// What the logon dialog hands back.
struct LogonAnswer {
    int chosenProfile = -1; // kNoProfileChosen when the typed host is no entry
    std::string host;
    std::string password;
    std::string userId = "admin";
};

struct MainDlgOptions {
    int languageId = 1033;      // the system default language id
    SessionTiming timing;       // tests shorten the session's waits
    // Replaces the logon dialog (tests); returns nothing for Cancel.
    std::function<std::optional<LogonAnswer>()> askLogon;
    // Where the DVR disk is looked for (tests use a fake mount table).
    DiskSystemPaths diskPaths;
    // Replaces the file dialogs of local playback (tests); empty for Cancel.
    std::function<std::string(int controlId)> askPath;
    // Local playback reads as fast as it decodes (tests, benchmarks).
    bool playbackPacing = true;
    // Replaces running the "HDD Play" dialog (tests): returns its choice.
    std::function<int(class CHddPlayDlg&)> askTime;
    // Replaces running the "DVR Playback" dialog (tests): returns its exec() result.
    std::function<int(class CDvrPlaybackDlg&)> askPlayTime;
    // The upgrade page's file dialog and connect wait; its DVR is chosen
    // through askLogon when that is set.
    UpgradeHooks upgrade;
    // Replaces running "Save to AVI File..." (tests): returns its exec() result.
    std::function<int(class CAviSaveDlg&)> askAviSave;
    // Replaces opening a folder in the file browser (tests).
    std::function<void(const std::string& folder)> openFolder;
    // The size past which an AVI file goes on in a continuation file.
    uint64_t aviContinuationBytes = kAviContinuationBytes;
    // Replace running the "Backup" dialog and the copy's progress dialog
    // (tests): each returns the dialog's exec() result.
    std::function<int(class CBackupDlg&)> askBackup;
    std::function<int(class CBackupProgressDlg&)> runBackup;
    // Replace running the print dialog of a pane (tests: returns its exec()
    // result) and the system's print dialog (tests: set the printer up,
    // e.g. to write a PDF file; false for Cancel).
    std::function<int(CPrintDlg&)> askPrint;
    std::function<bool(QPrinter&)> askPrinter;
    // Replaces running "DVR Setting" (tests): returns its exec() result.
    std::function<int(class CDvrSettingDlg&)> askDvrSetting;
    // Where dvr.ini is read and written; empty paths: LocateDvrIni's rule
    // for the program's folder and the user's configuration folder.
    DvrIniLocation dvrIni;
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    CMainDlg(const IniFile& ini, AppSettings& app, Notifier& notifier, MainDlgOptions options = {},
             QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The Connect button: the logon dialog, then connecting; or, while a
    // session runs, disconnecting.
    void OnConnectButton();
    // Connects without the logon dialog (the --connect option). The open
    // runs on a thread of its own; the window keeps painting meanwhile, and
    // the Connect button cancels it.
    void ConnectTo(const ConnectSettings& settings);
    bool Connecting() const { return connecting_; }
    // A session that was lost after its login is being restored: attempts
    // follow each other with ReconnectBackoff's waits until one logs in, the
    // DVR refuses the login, or the user presses Disconnect.
    bool Reconnecting() const { return repair_ != Repair::Off; }

    // Full screen shows only the video: in a window of the profile's video
    // size (the "Full Screen" button), or on the whole monitor (F11, a
    // double click with Ctrl). Escape, Enter or F11 return to the window as
    // it was.
    void EnterFullScreen(bool wholeMonitor = false);
    void LeaveFullScreen();
    bool IsFullScreen() const { return fullScreen_; }

    // Applies a channel count (after login, or 4 when the settings change
    // without a session): the division buttons it cannot use are disabled
    // and the layout is rebuilt.
    void ApplyChannelCount(int channelCount);
    // The speakers' mute: the button's face and tooltip follow it.
    void SetAudioMute(bool mute);
    bool AudioMuted() const { return muted_; }

    // Local playback of a `.DVR` backup, a `.avs` recording, a volume or the
    // DVR disk: the source is opened, the player starts paused on its first
    // pictures. False when nothing could be opened (the user was told).
    bool OpenPlayback(const std::string& path);
    bool OpenVolume(const std::string& path);
    bool OpenDvrDisk();
    // The time search: the "HDD Play" dialog, then play from the time found.
    void OnTimeSearch();
    // The "&Backup" button while local playback has a source open: the
    // "Backup" dialog, then the raw copy of the range chosen behind its
    // progress dialog, and the folder shown (MainDlgBackup.cpp).
    void StartBackup();
    QToolButton* BackupButton() const { return backupButton_; }
    void StopPlayback();
    LocalPlayer* Player() const { return player_.get(); }
    CTabLocalSearch* LocalTab() const { return localTab_; }
    CBitmapSlider* PositionSlider() const { return slider_; }

    // AVI export (MainDlgAvi.cpp): the "Record to AVI File" button asks
    // "Save to AVI File..." (AskAviExport) and exports the chosen channels;
    // while local playback has a source open it opens the backup dialog
    // instead, whose "Avi Data" leads to the same question; while an export
    // runs it is "Stop AVI Rec", which closes the files and opens their
    // folder. StartAviExport exports the channels of `mask` (bit c: channel
    // c) to `path` (a folder or a file name); false when it could not start.
    void OnAviButton();
    void AskAviExport();
    bool StartAviExport(int mask, const std::string& path);
    void StopAviExport(bool openFolder = true);

    // Snapshots and printing (MainDlgSnapshot.cpp), the commands of the
    // panes' context menu. The pictures come from the pane store, never
    // from the screen. SaveSnapshot saves a pane's picture as a JPEG file;
    // SaveAllSnapshots saves each channel's own picture (the pane that
    // shows it, or the no-video picture for a channel not shown) as
    // path_01_time.jpg, path_02_time.jpg, ...; PrintSnapshot opens the
    // print dialog; ResetPane(s) give panes their no-video picture back.
    void SaveSnapshot(int pane);
    void SaveAllSnapshots();
    void PrintSnapshot(int pane);
    void ResetPane(int pane);
    void ResetAllPanes();

    // With TARNVIK_TRACE=1: the longest the user-interface thread was held up
    // while a session ran or was being restored (ms), and the 20 ms ticks
    // that measured it.
    int WorstUiLatenessMs() const;
    long UiLatenessTicks() const;

    // The English id's string in the window's language.
    QString LoadText(int englishId) const;

    // ---- For tests and the command line ----
    ViewerCore& Core() { return *core_; }
    DivisionState& Divisions() { return *divisions_; }
    CHoverButton* Button(int controlId) const;
    COneCamera* Pane(int pane) const;
    QLabel* Label(int controlId) const;
    CLedButton* Light(int controlId) const;
    CTabLive* LiveTab() const { return liveTab_; }
    CTabNetSearch* NetTab() const { return netTab_; }
    QDateEdit* DatePicker() const { return datePicker_; }
    QTimeEdit* TimePicker() const { return timePicker_; }
    CTabUpgrade* UpgradeTab() const { return upgradeTab_; }
    QTabWidget* Sheet() const { return sheet_; }
    // The no-video picture every pane starts with.
    const QImage& NoVideoPicture() const { return noVideo_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControlPanel();
    void BuildBottomBar();
    void BuildSheet();
    void BuildPanes();
    void WireBridge();
    void OnHoverNotify(int controlId, std::uint32_t message);
    void OnButtonClicked(int controlId);
    void OnSettingButton();
    void OnDvrSettingButton();
    std::optional<LogonAnswer> RunLogonDialog();
    void OnSessionChanged(bool loggedIn, const std::string& host);
    void OnControlsEnabled(bool enabled);
    void OnRateTimer();
    void OnSheetPageChanged(int index);
    void OnConnectOpened(bool ok, const ConnectSettings& settings);
    void DisconnectFromButton();
    void ClearPanes();
    void RepaintPane(int pane);
    void UpdateConnectDependent();
    void PlacePanesNow();
    // Places the panel, the bar and the panes for the current client size.
    void ApplyLayout();
    // The keyboard (MainDlgKeys.cpp): true when the key was the window's.
    bool OnKeyPress(QKeyEvent* key);
    bool OnKeyRelease(QKeyEvent* key);
    void PauseOrPlay();
    void StepPage(bool forward);
    void StopKeyPtz();
    // A control's tooltip followed by the key that does the same.
    QString WithKey(int controlId, const QString& text) const;
    void UpdateConnectButton(bool loggedIn);
    // Enables the Connect button as asked, except while the upgrade page is
    // shown: an upgrade chooses its DVR on its own.
    void EnableConnect(bool enabled);
    // The local page back in the sheet, in its place before the upgrade page.
    void ShowLocalPage();
    void StopConnector();
    void EnableDivisionButtons(int channelCount);
    // Self-repair of the live view (MainDlgRepair.cpp).
    enum class Repair { Off, Waiting, Trying };
    bool StartConnect(const ConnectSettings& settings, bool clearPanes);
    void ShowViewAfterLogin();
    void ScheduleReconnect();
    void TryReconnect();
    void StopReconnecting();
    void UpdatePaneSignals();
    // Local playback (MainDlgPlayback.cpp).
    void BuildPlayback();
    bool StartPlayback(PlayerSource&& source, const QString& title);
    void ShowPlaybackControls(bool shown);
    void OnLocalButton(int controlId);
    void OnSliderNotify(std::uint32_t message);
    void OnPlayerChanged(int state, int speed, bool atEnd);
    void OnPlayerPosition(std::uint64_t offset, std::uint32_t time);
    void OnPlayerStatus(const std::string& line, std::uint32_t time, int milliseconds);
    std::string AskPath(int controlId);
    // Remote playback by time (MainDlgRemote.cpp).
    void BuildRemote();
    void ShowRemoteControls(bool shown);
    // The remote Play button: the "DVR Playback" dialog, then Play.
    void OnRemotePlayButton();
    void RemotePlay();
    void RemoteStep(bool forward);
    void SetPlayTime(const QDateTime& at);
    // Stream recording: the REC mark of every pane follows the recorder.
    void OnRecordButton(bool start);
    void ShowRecordingMark();
    // The button, the AVI light and the panes' "AVI Recording..." follow
    // the export.
    void ShowAviState();
    // Snapshots (MainDlgSnapshot.cpp).
    void ConnectPaneMenu(COneCamera* pane);
    std::string AskSnapshotPath(int command, const std::string& proposed);
    bool WriteSnapshot(const Image& picture, const std::string& path);
    void PrintPage(CPrintDlg& dialog);
    // The vehicle identifier of the source played (empty when none is known).
    std::string CarId() const;
    // The source local playback has open, or null.
    const PlayerSource* PlayingSource() const;

    const IniFile& ini_;
    AppSettings& app_;
    Notifier& notifier_;
    MainDlgOptions options_;

    QtUiBridge bridge_;
    std::unique_ptr<ViewerCore> core_;
    QImage noVideo_;
    std::unique_ptr<DivisionState> divisions_;
    std::unique_ptr<PtzRepeater> ptzRepeater_;

    // Skin pictures of the backgrounds.
    QPixmap videoBackground_, panelBackground_, barBackground_;

    std::map<int, CHoverButton*> buttons_;
    std::map<int, QLabel*> labels_;
    std::map<int, CLedButton*> lights_;
    std::array<COneCamera*, 16> panes_{};
    CBitmapSlider* slider_ = nullptr;
    QToolButton* backupButton_ = nullptr; // enabled while local playback has a source
    QTabWidget* sheet_ = nullptr;
    CTabLive* liveTab_ = nullptr;
    CTabNetSearch* netTab_ = nullptr;
    CTabLocalSearch* localTab_ = nullptr;
    CTabUpgrade* upgradeTab_ = nullptr;
    // Everything but the panes; hidden in full screen.
    std::vector<QWidget*> chrome_;
    // Where each of chrome_ sits in the 1017 x 755 design, and the scale
    // the panel and the bar are drawn at now.
    std::vector<std::pair<QWidget*, QRect>> designGeometry_;
    double layoutScale_ = 1.0;
    // What entering full screen hid, shown again when it is left.
    std::vector<QWidget*> hiddenByFullScreen_;
    // Enabled only while a DVR is logged in and the session allows it.
    std::vector<QWidget*> connectDependent_;
    bool loggedIn_ = false;        // the session's last report through the bridge
    bool controlsEnabled_ = true;  // likewise

    QTimer rateTimer_;
    std::unique_ptr<class LatenessWatch> lateness_;

    bool muted_ = true;
    bool fullScreen_ = false;
    bool monitorFullScreen_ = false;
    // The window before full screen, given back when it is left.
    QRect normalGeometry_;
    bool wasMaximized_ = false;
    // The pan/tilt/zoom key held down (0: none); its release sends the stop.
    int ptzKey_ = 0;

    std::unique_ptr<CAudioPlayer> audio_;
    std::unique_ptr<PlayerEvents> playerEvents_;
    std::unique_ptr<LocalPlayer> player_;
    // The local playback bar: shown while the local page is.
    std::vector<QWidget*> playbackBar_;
    // Remote playback: its bar (buttons and the pickers the steps read),
    // shown while the remote page is, and the time Play starts from (none
    // until one is chosen).
    std::vector<QWidget*> remoteBar_;
    QDateEdit* datePicker_ = nullptr;
    QTimeEdit* timePicker_ = nullptr;
    QDateTime playTime_;
    QWidget* shownPage_ = nullptr; // the sheet's page shown last
    // The path last chosen in "Save to AVI File..." (empty: RecPath).
    std::string aviPath_;

    // The connect attempt: the opening thread and whether one runs.
    std::thread connector_;
    std::atomic<bool> connecting_{false};
    bool cancelRequested_ = false; // the user cancelled the running attempt

    // Self-repair: what the user last connected to, whether it ever logged
    // in, the reconnect state and its timers, and the panes' signal marks.
    ConnectSettings lastSettings_;
    bool everLoggedIn_ = false;
    int viewChannelCount_ = 4; // the channel count the view was laid out for
    Repair repair_ = Repair::Off;
    // A live recording cut by the lost session goes on (in a new file) once
    // the session is restored.
    bool resumeRecording_ = false;
    ReconnectBackoff backoff_;
    QTimer reconnectTimer_;
    std::chrono::steady_clock::time_point nextAttempt_;
    QTimer signalTimer_;
    SignalWatch signalWatch_;
};

} // namespace tarnvik
