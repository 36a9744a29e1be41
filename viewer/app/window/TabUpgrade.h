// CTabUpgrade ("Upgrade"): sends a firmware file (.ncf) to a DVR chosen in
// the logon dialog, over a connection of its own on port 4700 (the
// environment variable TARNVIK_UPGRADE_PORT overrides it), with a progress
// bar and text, and shows the DVR's answer. Everything runs on the
// user-interface thread from the socket's signals: the file goes out a
// block at a time as the socket drains, so the window stays responsive and
// the Load button stays disabled until the upgrade is over.
#pragma once

#include "net/Notifier.h"
#include "net/UpgradeTransfer.h"

#include <QAbstractSocket>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTcpSocket;

namespace tarnvik {

class IniFile;
struct AppSettings;
struct LogonAnswer;

inline constexpr uint16_t kUpgradePort = 4700;

// The port upgrades go to: TARNVIK_UPGRADE_PORT when it holds a port
// number, else kUpgradePort.
uint16_t UpgradePortFromEnvironment();

// What the page asks the user, and its one wait; tests replace them.
struct UpgradeHooks {
    // Replaces the file dialog: nothing for Cancel, an empty path for a
    // dialog closed with OK but no file.
    std::function<std::optional<std::string>(const std::string& lastPath)> askFile;
    // Replaces the logon dialog (shown with its password disabled):
    // nothing for Cancel.
    std::function<std::optional<LogonAnswer>()> askDvr;
    // How long a connect may wait for the DVR to accept it.
    std::chrono::milliseconds connectWait{55000};
    // How long the DVR may stay silent (taking no file bytes, or not
    // answering once it has the file) before the upgrade is given up, so
    // that a DVR that hangs never leaves the page waiting for good.
    std::chrono::milliseconds silenceLimit{300000};
};

class CTabUpgrade : public QWidget {
    Q_OBJECT
public:
    enum class Phase { Idle, Choosing, Connecting, Sending, Waiting };

    // The logon dialog's choice becomes the current profile, as the
    // Connect button's does; `notifier` shows every message.
    CTabUpgrade(const IniFile& ini, AppSettings& app, Notifier& notifier, UpgradeHooks hooks,
                QWidget* parent = nullptr);
    ~CTabUpgrade() override;

    // The "Load firmware file" button: the file, the DVR, connecting,
    // sending and waiting for the answer. Nothing while an upgrade runs.
    void OnLoadFirmware();
    Phase CurrentPhase() const { return phase_; }

    QPushButton* LoadButton() const { return load_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QLabel* ProgressText() const { return progressText_; }
    QLabel* StatusText() const { return status_; }
    QLabel* FileText() const { return file_; }

signals:
    // Every change of the progress text ("%s/%sKB(%d%%)").
    void ProgressShown(int percent, const QString& text);
    // Every change of the status line under it.
    void StatusShown(const QString& text);
    // The page is idle again, after any outcome (its message follows).
    void Finished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::optional<std::string> AskFile();
    std::optional<LogonAnswer> AskDvr();
    void Connect();
    void OnConnected();
    void OnConnectTimeout();
    void OnSocketError(QAbstractSocket::SocketError error);
    void OnConnectFailed(QAbstractSocket::SocketError error);
    void OnBytesWritten(qint64 bytes);
    void OnReadyRead();
    void OnClosedByDvr();
    void SendMore();
    void ShowProgress();
    void ShowStatus(const QString& text);
    // Back to idle: the socket closed, the controls reset.
    void Finish();
    void FinishWith(const std::string& message, MessageIcon icon);
    void DropSocket();
    void ResetControls();

    const IniFile& ini_;
    AppSettings& app_;
    Notifier& notifier_;
    UpgradeHooks hooks_;

    QPushButton* load_ = nullptr;
    QLabel* file_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* status_ = nullptr;

    Phase phase_ = Phase::Idle;
    std::string lastPath_;  // the file chosen last, where the next dialog starts
    std::string host_;      // the DVR of the upgrade in progress
    uint16_t port_ = kUpgradePort;
    QTcpSocket* socket_ = nullptr; // none while idle
    uint64_t socketNumber_ = 0;    // counts the sockets made, to tell a late signal's socket
    QTimer connectTimer_;
    QTimer silenceTimer_; // restarted by every sign of life of the DVR
    UpgradeTransfer transfer_;
    std::vector<uint8_t> outgoing_; // reused for each block of messages
};

} // namespace tarnvik
