#include "app/window/TabUpgrade.h"

#include "app/ProfileEditing.h"
#include "app/dialogs/LogonDialog.h"
#include "app/window/MainDlg.h"
#include "dvrformat/Upgrade.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpSocket>
#include <QVBoxLayout>

#include <cerrno>
#include <utility>

namespace tarnvik {

namespace {

// The socket's buffer is topped up to this much while the file goes out:
// enough to keep a fast link busy, small enough that the progress follows
// what has really left and that the file is never read whole.
constexpr qint64 kSendAhead = 64 * 1024;

// The system error number of a socket error, for the messages that show one
// (a name that does not resolve counts as an unreachable host).
int ErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::UnsupportedSocketOperationError: return EAFNOSUPPORT;
    default: return EIO;
    }
}

} // namespace

uint16_t UpgradePortFromEnvironment()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("TARNVIK_UPGRADE_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? uint16_t(port) : kUpgradePort;
}

CTabUpgrade::CTabUpgrade(const IniFile& ini, AppSettings& app, Notifier& notifier, UpgradeHooks hooks,
                         QWidget* parent)
    : QWidget(parent)
    , ini_(ini)
    , app_(app)
    , notifier_(notifier)
    , hooks_(std::move(hooks))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    load_ = new QPushButton(tr("Load firmware file"), this);
    load_->setObjectName(QStringLiteral("upgradeLoad"));
    load_->setAutoDefault(false);
    connect(load_, &QPushButton::clicked, this, &CTabUpgrade::OnLoadFirmware);

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        return l;
    };
    file_ = label("upgradeFile");
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("upgradeProgress"));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progressText_ = label("upgradeProgressText");
    status_ = label("upgradeStatus");

    layout->addWidget(load_);
    layout->addWidget(file_);
    layout->addWidget(progress_);
    layout->addWidget(progressText_);
    layout->addWidget(status_);
    layout->addStretch(1);

    connectTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, &CTabUpgrade::OnConnectTimeout);
    silenceTimer_.setSingleShot(true);
    connect(&silenceTimer_, &QTimer::timeout, this, [this] {
        if (phase_ == Phase::Sending || phase_ == Phase::Waiting)
            FinishWith(tr("The DVR did not respond for %1 s; the upgrade was given up.")
                           .arg(hooks_.silenceLimit.count() / 1000.0)
                           .toStdString(),
                       MessageIcon::Error);
    });
    ResetControls();
}

CTabUpgrade::~CTabUpgrade()
{
    DropSocket();
}

void CTabUpgrade::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Coming back to the page in the middle of an upgrade shows it as it is.
    if (phase_ == Phase::Idle)
        ResetControls();
}

void CTabUpgrade::ResetControls()
{
    load_->setEnabled(true);
    progress_->hide();
    progressText_->hide();
    status_->hide();
}

std::optional<std::string> CTabUpgrade::AskFile()
{
    if (hooks_.askFile)
        return hooks_.askFile(lastPath_);
    QFileDialog dialog(this, tr("Load firmware file"), QString::fromStdString(lastPath_),
                       tr("firmware file (*.ncf)") + QStringLiteral(";;") + tr("All File (*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("ncf"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : files.first().toStdString();
}

std::optional<LogonAnswer> CTabUpgrade::AskDvr()
{
    if (hooks_.askDvr)
        return hooks_.askDvr();
    // The dialog only chooses the DVR: the upgrade asks for no password.
    CLogonDlg dialog(ini_, app_, this);
    dialog.SetPasswordEnabled(false);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    LogonAnswer answer;
    answer.chosenProfile = dialog.ChosenProfile();
    answer.host = dialog.Host();
    return answer;
}

void CTabUpgrade::OnLoadFirmware()
{
    if (phase_ != Phase::Idle)
        return;
    // The dialogs below wait for the user; nothing may start a second
    // upgrade meanwhile.
    phase_ = Phase::Choosing;
    const std::optional<std::string> path = AskFile();
    if (!path) {
        phase_ = Phase::Idle;
        return;
    }
    file_->setText(QFileInfo(QString::fromStdString(*path)).fileName());
    if (path->empty()) {
        phase_ = Phase::Idle;
        notifier_.ShowMessage(kNoFirmwareFile, MessageIcon::Error);
        return;
    }
    lastPath_ = *path;

    load_->setEnabled(false);
    const std::optional<LogonAnswer> dvr = AskDvr();
    if (!dvr) {
        phase_ = Phase::Idle;
        load_->setEnabled(true);
        return;
    }
    // The choice becomes the current profile; a failed write of the
    // profile file does not stop the upgrade.
    ApplyLogon(ini_, app_, dvr->chosenProfile, dvr->host);
    host_ = app_.profile.ip;
    port_ = UpgradePortFromEnvironment();

    // The file is checked before the DVR is bothered.
    std::string message;
    if (!transfer_.Open(lastPath_, message)) {
        FinishWith(message, MessageIcon::Error);
        return;
    }
    Connect();
}

// ---- Connecting -----------------------------------------------------------------

void CTabUpgrade::Connect()
{
    DropSocket();
    phase_ = Phase::Connecting;
    ShowStatus(tr("Connecting to %1…").arg(QString::fromStdString(host_)));
    socket_ = new QTcpSocket(this);
    ++socketNumber_;
    // A DVR that vanishes while the viewer waits for its answer is noticed
    // by the system in the end.
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    connect(socket_, &QTcpSocket::connected, this, &CTabUpgrade::OnConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &CTabUpgrade::OnSocketError);
    connect(socket_, &QTcpSocket::bytesWritten, this, &CTabUpgrade::OnBytesWritten);
    connect(socket_, &QTcpSocket::readyRead, this, &CTabUpgrade::OnReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &CTabUpgrade::OnClosedByDvr);
    connectTimer_.start(hooks_.connectWait);
    socket_->connectToHost(QString::fromStdString(host_), port_);
}

void CTabUpgrade::OnConnectTimeout()
{
    if (phase_ != Phase::Connecting)
        return;
    FinishWith(kCantConnectToServer, MessageIcon::Error);
}

void CTabUpgrade::OnSocketError(QAbstractSocket::SocketError error)
{
    // Answered outside the socket's own signal: the answer may replace the
    // socket, and a message box must not run inside its emission.
    QMetaObject::invokeMethod(
        this,
        [this, error, number = socketNumber_] {
            if (!socket_ || number != socketNumber_)
                return; // already dealt with
            if (phase_ == Phase::Connecting)
                OnConnectFailed(error);
            else if (error == QAbstractSocket::RemoteHostClosedError)
                OnClosedByDvr();
            else if (phase_ == Phase::Sending || phase_ == Phase::Waiting)
                FinishWith(UpgradeSocketErrorText(ErrorNumber(error)), MessageIcon::Error);
        },
        Qt::QueuedConnection);
}

void CTabUpgrade::OnConnectFailed(QAbstractSocket::SocketError error)
{
    connectTimer_.stop();
    DropSocket();
    if (error == QAbstractSocket::SocketTimeoutError) {
        FinishWith(kCantConnectToServer, MessageIcon::Error);
        return;
    }
    const MessageAnswer answer =
        notifier_.ShowMessage(ConnectRetryQuestion(ErrorNumber(error)), MessageIcon::Question, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes)
        Connect();
    else
        Finish();
}

// ---- Sending --------------------------------------------------------------------

void CTabUpgrade::OnConnected()
{
    connectTimer_.stop();
    silenceTimer_.start(hooks_.silenceLimit);
    phase_ = Phase::Sending;
    status_->hide();
    progress_->setValue(0);
    progress_->show();
    progressText_->show();
    ShowProgress();
    SendMore();
}

void CTabUpgrade::SendMore()
{
    if (phase_ != Phase::Sending || !socket_ || transfer_.AllProduced() || socket_->bytesToWrite() >= kSendAhead)
        return;
    outgoing_.clear();
    std::string message;
    if (!transfer_.Produce(outgoing_, size_t(kSendAhead), message)) {
        FinishWith(message, MessageIcon::Error);
        return;
    }
    // A failed write is reported by the socket's error signal.
    socket_->write(reinterpret_cast<const char*>(outgoing_.data()), qint64(outgoing_.size()));
}

void CTabUpgrade::OnBytesWritten(qint64 bytes)
{
    if (phase_ != Phase::Sending)
        return;
    silenceTimer_.start(hooks_.silenceLimit);
    transfer_.Sent(uint64_t(bytes));
    ShowProgress();
    if (!transfer_.AllSent()) {
        SendMore();
        return;
    }
    transfer_.Close();
    phase_ = Phase::Waiting;
    ShowStatus(tr("Sent, waiting for the DVR…"));
}

void CTabUpgrade::ShowProgress()
{
    const int percent = transfer_.Percent();
    const QString text = QString::fromStdString(transfer_.ProgressText());
    if (text == progressText_->text() && percent == progress_->value())
        return;
    progress_->setValue(percent);
    progressText_->setText(text);
    emit ProgressShown(percent, text);
}

void CTabUpgrade::ShowStatus(const QString& text)
{
    status_->setText(text);
    status_->show();
    emit StatusShown(text);
}

// ---- The DVR's answer -------------------------------------------------------------

void CTabUpgrade::OnReadyRead()
{
    if (!socket_ || (phase_ != Phase::Sending && phase_ != Phase::Waiting))
        return;
    // Everything that came is read, so a DVR that talks too much fills no
    // buffer; the transfer keeps only what a reply needs.
    char chunk[4096];
    for (;;) {
        const qint64 got = socket_->read(chunk, sizeof chunk);
        if (got <= 0)
            return;
        silenceTimer_.start(hooks_.silenceLimit);
        const std::optional<uint8_t> result = transfer_.Received(reinterpret_cast<const uint8_t*>(chunk), size_t(got));
        if (result) {
            // A failure code may come before the whole file has gone: the DVR
            // has decided, and nothing more is sent.
            if (*result == dvrformat::upgrade::Complete)
                FinishWith(kUpgradeCompleteText, MessageIcon::Information);
            else
                FinishWith(UpgradeFailedText(*result), MessageIcon::Error);
            return;
        }
    }
}

void CTabUpgrade::OnClosedByDvr()
{
    if (phase_ != Phase::Sending && phase_ != Phase::Waiting)
        return;
    OnReadyRead(); // an answer that came with the close still counts
    if (phase_ == Phase::Sending || phase_ == Phase::Waiting)
        FinishWith(kUpgradeClosedEarly, MessageIcon::Error);
}

// ---- Finish ---------------------------------------------------------------------

void CTabUpgrade::DropSocket()
{
    if (!socket_)
        return;
    QTcpSocket* socket = std::exchange(socket_, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void CTabUpgrade::Finish()
{
    connectTimer_.stop();
    silenceTimer_.stop();
    DropSocket();
    transfer_.Close();
    phase_ = Phase::Idle;
    ResetControls();
    emit Finished();
}

void CTabUpgrade::FinishWith(const std::string& message, MessageIcon icon)
{
    // Idle before the message, and the message outside the socket's signal
    // that ended the upgrade: its box waits for the user while nothing of
    // the upgrade is left to report again.
    Finish();
    QMetaObject::invokeMethod(
        this, [this, message, icon] { notifier_.ShowMessage(message, icon); }, Qt::QueuedConnection);
}

} // namespace tarnvik
