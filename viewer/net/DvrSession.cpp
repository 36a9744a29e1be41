#include "DvrSession.h"

#include "net/Trace.h"

#include <system_error>

namespace tarnvik {

using namespace dvrformat;

namespace {

// Set on the command task's own thread: Disconnect there must not join it.
thread_local bool t_onCommandTask = false;

} // namespace

int DecideCodecKind(uint32_t typeWord, uint32_t version)
{
    if (typeWord == kTypeWord2200)
        return version < 0x0303 ? 0 : 3;
    if (typeWord == kTypeWord22F0) {
        if (version == 0x0202)
            return 2;
        if (version == 0x0101)
            return 1;
        return 3;
    }
    return kCodecKindUnknown;
}

int NormalChannelCount(int count)
{
    return count == 1 || count == 4 || count == 8 || count == 16 ? count : 16;
}

LoginDecision DecideLogin(const uint8_t* payload, size_t size)
{
    LoginDecision decision;
    decision.reply = LoginReply::Read(payload, size);
    if (decision.reply.result == 0)
        return decision;
    decision.codecKind = DecideCodecKind(decision.reply.type, decision.reply.version);
    decision.outcome = decision.codecKind == kCodecKindUnknown ? LoginDecision::Outcome::Unsupported
                                                               : LoginDecision::Outcome::Accepted;
    return decision;
}

DvrSession::DvrSession(ViewerState& state, FrameSink& sink, std::mutex& decodeLock, UiBridge& ui, Notifier& notifier,
                       SessionTiming timing, PacingClock pacingClock)
    : state_(state)
    , sink_(sink)
    , decodeLock_(decodeLock)
    , ui_(ui)
    , notifier_(notifier)
    , timing_(timing)
    , socket_(timing.inactivityLimit)
    , protocol_(socket_, notifier, timing.badHeaderPause)
    , reception_(std::make_unique<LiveReception>(state, sink, decodeLock, ui, notifier, protocol_, frameList_,
                                                 [this] { LoseConnection(); }, std::move(pacingClock)))
{
    socket_.SetConnectLimit(timing.connectLimit);
    socket_.SetSilenceExpected([this] { return SilenceExpected(); });
}

bool DvrSession::SilenceExpected() const
{
    // Before the login reply, and while a stream is requested, the DVR owes
    // data and the inactivity limit holds; a pause may last for hours.
    if (!state_.loggedIn.load())
        return false;
    const uint32_t stream = state_.streamState.load();
    return stream == kStreamIdle || stream == kStreamStopped;
}

DvrSession::~DvrSession()
{
    Disconnect();
    JoinTask();
    // Reports of pictures still decoding would reach the reception, which
    // goes with this session.
    sink_.DropHandedOverPictures();
}

void DvrSession::ResetRenderer()
{
    std::lock_guard<std::mutex> guard(decodeLock_);
    sink_.ResetChannels();
}

bool DvrSession::Connect(const ConnectSettings& settings)
{
    if (!BeginConnect())
        return false;
    if (!OpenConnection(settings.host, settings.port)) {
        notifier_.ShowMessage(kConnectFailed, MessageIcon::Warning);
        return false;
    }
    return CompleteConnect(settings);
}

bool DvrSession::BeginConnect()
{
    if (sessionOpen_.load() || !state_.stopFlag.load())
        return false;
    // A task that ended on its own is joined before the socket is reopened:
    // the socket must not be opened while a reader is still inside it.
    JoinTask();
    // A cancel meant for an earlier attempt must not stop this one.
    socket_.ForgetCancel();
    return true;
}

bool DvrSession::OpenConnection(const std::string& host, uint16_t port)
{
    return socket_.Open(host, port);
}

bool DvrSession::CompleteConnect(const ConnectSettings& settings)
{
    if (sessionOpen_.load() || !socket_.IsConnected())
        return false;
    state_.lastErrorCode = 0;
    host_ = settings.host;
    channelCount_ = settings.channelCount;
    quietBeforeLogin_ = settings.retry;
    lastEnd_ = SessionEnd::None;
    speedByte_ = LoginRequest::SpeedByte(settings.speedSetting);
    protocol_.BeginConnection();
    protocol_.SetDvrTypeWord(kTypeWordUnknown);

    // Per-connection state, reset before the task exists so that nothing
    // else touches it meanwhile.
    state_.streamState = kStreamIdle;
    state_.loggedIn = false;
    ResetRenderer();
    frameList_.Clear();
    reception_->Reset();

    // The stop flag is cleared before the task starts, or the task could see
    // it still set and end at once.
    state_.stopFlag = false;
    sessionOpen_ = true;
    {
        std::lock_guard<std::mutex> guard(taskEndLock_);
        taskEnded_ = false;
    }
    taskRunning_ = true;
    try {
        task_ = std::thread([this] { CommandTask(); });
    } catch (const std::system_error&) {
        taskRunning_ = false;
        {
            std::lock_guard<std::mutex> guard(taskEndLock_);
            taskEnded_ = true;
        }
        sessionOpen_ = false;
        state_.stopFlag = true;
        socket_.Close();
        return false;
    }

    LoginRequest login;
    login.administrator = settings.userId == "admin" ? 1 : 0;
    login.speed = speedByte_;
    login.codec = uint8_t(settings.codecSetting);
    login.password = settings.password.substr(0, kLoginPasswordMax);
    std::lock_guard<std::mutex> guard(sendLock_);
    protocol_.SendLogin(login);
    return true;
}

void DvrSession::Disconnect()
{
    EndSession(SessionEnd::ByUser);
}

bool DvrSession::LoseConnection()
{
    return EndSession(state_.stopFlag.load() ? SessionEnd::ByUser : SessionEnd::Lost);
}

bool DvrSession::EndSession(SessionEnd cause)
{
    state_.loggedIn = false;
    const bool ending = sessionOpen_.exchange(false);
    if (ending) {
        // Recorded before the bridge reports the end, so that its handler
        // reads this session's cause.
        lastEnd_ = cause;
        // The end of program path has already stopped the stream and waited.
        if (!state_.stopFlag.load()) {
            SendPlaybackEnd();
            state_.stopFlag = true;
            std::this_thread::sleep_for(timing_.stopGrace);
        }
        // Nothing handed over before the end is shown after it.
        sink_.DropHandedOverPictures();
        ui_.ControlsEnabled(false);
        ui_.RecordingIndicator(false);
        state_.streamState = kStreamIdle;
        // Wakes a command task blocked in a read: it returns 0 at once.
        socket_.Close();
        ui_.SessionChanged(false, host_);
    }
    if (!t_onCommandTask)
        JoinTask();
    return ending;
}

void DvrSession::JoinTask()
{
    if (!task_.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(taskEndLock_);
        if (!taskEndedCv_.wait_for(lock, timing_.taskEndLimit, [this] { return taskEnded_; }))
            Trace("command task overran its end limit; still waiting for it");
    }
    task_.join();
}

void DvrSession::EndWithMessage(const std::string& text)
{
    // A read woken by our own Disconnect is no loss of connection, and one
    // that lost the race with it shows nothing either.
    const bool lost = !state_.stopFlag.load();
    if (!EndSession(lost ? SessionEnd::Lost : SessionEnd::ByUser) || !lost)
        return;
    // A reconnect attempt that fails before its login is retried quietly.
    if (quietBeforeLogin_ && !protocol_.LoginSeen())
        return;
    if (!text.empty())
        notifier_.ShowMessage(text, MessageIcon::Warning);
}

void DvrSession::CommandTask()
{
    t_onCommandTask = true;
    int lastRead = 1;
    while (!state_.stopFlag.load()) {
        const ReadResult read = protocol_.ReadMessage();
        if (read.kind == ReadResult::Kind::Ended) {
            lastRead = 0;
            EndWithMessage(read.endMessage);
            break;
        }
        state_.lastErrorCode = 0;
        const MessageHeader& header = read.header;
        if (header.code == cmd::Login) {
            if (!OnLoginReply())
                break;
        } else if (header.code == cmd::Live) {
            reception_->OnLiveData(header);
        } else if (header.code == cmd::Playback) {
            reception_->OnPlaybackData(header);
        } else if (header.code == cmd::Finish) {
            EndSession(SessionEnd::Finished);
            notifier_.ShowMessage(kFinishMessage, MessageIcon::Information);
        } else if (header.code == cmd::Error) {
            if (!protocol_.HandleErrorReply(header))
                LoseConnection();
            state_.lastErrorCode = protocol_.LastErrorCode();
        }
    }
    // The pictures this task handed over after a Disconnect on another thread.
    sink_.DropHandedOverPictures();
    taskRunning_ = false;
    ui_.CommandTaskEnded(lastRead);
    std::lock_guard<std::mutex> guard(taskEndLock_);
    taskEnded_ = true;
    taskEndedCv_.notify_all();
}

bool DvrSession::OnLoginReply()
{
    ui_.ControlsEnabled(false);
    const LoginDecision decision = DecideLogin(protocol_.Payload(), protocol_.PayloadSize());
    const LoginReply& reply = decision.reply;
    if (decision.outcome == LoginDecision::Outcome::Refused) {
        EndSession(SessionEnd::Refused);
        notifier_.ShowMessage(kLoginFailed, MessageIcon::Warning);
        ui_.ControlsEnabled(true);
        return false;
    }
    ResetRenderer();
    state_.codecKind = kCodecKindUnknown;
    state_.typeWord = reply.type;
    state_.modelCode = reply.model;
    state_.version = reply.version;
    protocol_.SetDvrTypeWord(reply.type);

    if (decision.outcome == LoginDecision::Outcome::Unsupported) {
        EndSession(SessionEnd::Refused);
        notifier_.ShowMessage(kVersionMismatch, MessageIcon::Warning);
        ui_.ControlsEnabled(true);
        return false;
    }
    // The frame header length follows from the kind (ViewerState).
    state_.codecKind = decision.codecKind;
    state_.channelCount = NormalChannelCount(channelCount_);
    // Logged in before the window hears of it: what it requests while it
    // shows the view for the login must not be refused.
    state_.loggedIn = true;
    ResetRenderer();
    // The login's live request goes out before the window hears of the
    // login, so whatever the user asks for next (another page, a stop)
    // reaches the DVR after it and holds. A page other than live chosen
    // while connecting gets no live video.
    if (state_.mode.load() == kModeLive)
        LivePlay();
    ui_.SessionChanged(true, host_);
    ui_.ControlsEnabled(true);
    return true;
}

} // namespace tarnvik
