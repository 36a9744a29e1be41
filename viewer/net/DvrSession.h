// The session with one DVR: connecting, logging in, the command task that
// reads every message of the connection, and disconnecting; plus the live
// stream requests of the user-interface thread.
//
// Threads: Connect, Disconnect, EndOfProgram, LeaveNetworkViewing, the
// requests and the destructor are called on the user-interface thread
// (Disconnect also on the command task). The command task is the one
// network thread; it is joined by the user-interface thread (in Disconnect,
// the next Connect or the destructor), never detached. None of these may be
// called while the caller holds the decode lock: the command task may be
// waiting for it, and joining it would then never end.
#pragma once

#include "net/DvrProtocol.h"
#include "net/DvrSocket.h"
#include "net/FrameSink.h"
#include "net/LiveReception.h"
#include "net/Notifier.h"
#include "net/ReceptionStatus.h"
#include "net/UiBridge.h"
#include "net/ViewerState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tarnvik {

inline constexpr const char* kConnectFailed = "Connection failed!";
inline constexpr const char* kLoginFailed = "Login failed!";
inline constexpr const char* kVersionMismatch = "Dalvorin Version mismatched !!";
inline constexpr const char* kFinishMessage =
    "There was not use of old hour DVR server and the connection was closed.\n"
    "When continuously it uses, connection do as a favor again.";

// What Connect needs of a connection profile.
struct ConnectSettings {
    std::string host;
    uint16_t port = 2200;
    std::string userId = "admin";
    std::string password;
    int speedSetting = 0; // the profile's network speed; the wire byte is one less
    int codecSetting = 0;
    int channelCount = 4; // what the login sets: 1, 4, 8 or 16
    // A reconnect attempt after a lost session: a connection that is lost
    // again before the login reply ends without a message (the caller
    // retries and the panes say so).
    bool retry = false;
};

// Why the last session ended.
enum class SessionEnd {
    None,     // no session has ended since the last connect
    ByUser,   // Disconnect, leaving network viewing, the program's end
    Lost,     // the connection failed or closed, or the DVR went silent
    Refused,  // login refused or an unsupported DVR: retrying cannot help
    Finished, // the DVR closed a session it found idle
};

// Waits of the session; tests shorten them.
struct SessionTiming {
    // After the stop flag is set, time for the command task to see it.
    std::chrono::milliseconds stopGrace{500};
    std::chrono::milliseconds inactivityLimit = DvrSocket::kDefaultInactivityLimit;
    // How long connecting to an address that does not answer may take.
    std::chrono::milliseconds connectLimit = DvrSocket::kDefaultConnectLimit;
    std::chrono::milliseconds badHeaderPause = DvrProtocol::kBadHeaderPause;
    // How long a join waits for the task to finish before it reports an
    // overrun in the trace (it still joins).
    std::chrono::milliseconds taskEndLimit{5000};
};

// CodecKind for a login reply's type word and version; -1 when the type
// word is not a supported DVR.
int DecideCodecKind(uint32_t typeWord, uint32_t version);
// A channel count must be 1, 4, 8 or 16; anything else becomes 16.
int NormalChannelCount(int count);

// What a login reply's payload (of `size` bytes, any size) decides.
struct LoginDecision {
    enum class Outcome {
        Refused,     // result 0: "Login failed!"
        Unsupported, // a type word of no supported DVR: kVersionMismatch
        Accepted,    // logged in with `codecKind`
    } outcome = Outcome::Refused;
    dvrformat::LoginReply reply;
    int codecKind = dvrformat::kCodecKindUnknown;
};
LoginDecision DecideLogin(const uint8_t* payload, size_t size);

class DvrSession {
public:
    DvrSession(ViewerState& state, FrameSink& sink, std::mutex& decodeLock, UiBridge& ui, Notifier& notifier,
               SessionTiming timing = {}, PacingClock pacingClock = PacingClock::System());
    ~DvrSession();
    DvrSession(const DvrSession&) = delete;
    DvrSession& operator=(const DvrSession&) = delete;

    // Opens the connection, starts the command task and sends the login
    // request. False when a session already runs, the connection cannot be
    // opened ("Connection failed!" shown) or the task cannot start.
    bool Connect(const ConnectSettings& settings);
    // The same in three steps, for a window that must keep painting while a
    // slow address is tried: BeginConnect on the user-interface thread (false
    // when a session runs; joins a task that ended on its own; forgets a
    // cancel left over from an earlier attempt), then
    // OpenConnection on any thread (resolves and connects, shows nothing;
    // CancelOpen cuts it short), then, when it succeeded, CompleteConnect on
    // the user-interface thread (starts the command task and logs in). The
    // caller shows kConnectFailed when OpenConnection fails.
    bool BeginConnect();
    bool OpenConnection(const std::string& host, uint16_t port);
    void CancelOpen() { socket_.CancelOpen(); }
    // Closes a connection that OpenConnection opened but that no session
    // will use (the attempt was cancelled meanwhile).
    void AbandonConnection()
    {
        if (!sessionOpen_.load())
            socket_.Close();
    }
    bool CompleteConnect(const ConnectSettings& settings);
    // Ends the session: one session end request, the stop flag, the grace
    // wait, the socket closed, the bridge told. Any number of calls, from
    // either thread; only the first of a session does anything but the join.
    void Disconnect();
    // Why the last session ended; read it when the bridge reports the end.
    SessionEnd LastEnd() const { return lastEnd_.load(); }
    // The network part of the program's end: the live or playback stop
    // request, the stop flag, the grace wait, then Disconnect.
    void EndOfProgram();
    // The main window switches to local playback: live stop, then Disconnect.
    void LeaveNetworkViewing();

    bool IsConnected() const { return socket_.IsConnected(); }
    bool TaskRunning() const { return taskRunning_.load(); }

    // ---- Live requests (user-interface thread) ----
    // Sent only while connected; play, division, channel, audio and
    // pan/tilt/zoom only while logged in.
    void LivePlay();
    void LivePause();
    void LiveTabShown();
    void LiveTabHidden();
    // The main window's division became `division` (4, 6, 8, 9, 10, 13, 16).
    void DivisionChanged(int division);
    // A channel chosen for the single view from the grid.
    void ChannelChosen(int channel, bool hasVideo);
    // The audio switch (ViewerState::audioOn) was toggled.
    void AudioSwitched();
    // Local file or disk playback started: both streams are stopped.
    void LocalPlaybackStarted();
    // Pan/tilt/zoom of the selected channel in the single view; the live
    // tab's buttons send the move on press and PtzStop on release.
    void SendPtz(uint8_t ptzOp);
    void PtzPress(uint8_t ptzOp) { SendPtz(ptzOp); }
    void PtzRelease() { SendPtz(dvrformat::op::PtzStop); }

    // ---- Remote playback by time (user-interface thread) ----
    // `time` is a DvrTime. The requests go to the channels of the view: the
    // selected one in the single view, all of them otherwise.
    // Positions the DVR at `time` and asks for its playback stream (a
    // running stream is stopped first). False when not logged in: nothing
    // is sent, the caller tells the user.
    bool RemotePlay(uint32_t time);
    // Stops the playback stream and ends the DVR's playback session.
    void RemotePause();
    // One picture forward or back; from idle the DVR is positioned at
    // `time` first. Only while logged in.
    void RemoteStep(bool forward, uint32_t time);
    // Ends the DVR's playback session; the next Play or step positions anew.
    void RemoteTimeReset();
    // The playback page: shown, the session is in remote playback mode;
    // hidden, the DVR's playback session is ended.
    void RemoteTabShown();
    void RemoteTabHidden();

    LiveReception& Reception() { return *reception_; }
    FrameList& Frames() { return frameList_; }

private:
    void CommandTask();
    // Handles a login reply; false ends the command task.
    bool OnLoginReply();
    // Disconnect for `cause`; true when this call ended the session (the
    // cause is recorded only then).
    bool EndSession(SessionEnd cause);
    // The connection broke (a read or the DVR failed): Lost, unless our own
    // Disconnect woke the read.
    bool LoseConnection();
    // A path of the command task that ends the connection.
    void EndWithMessage(const std::string& text);
    // While logged in with no stream requested, the DVR sends nothing.
    bool SilenceExpected() const;
    void JoinTask();
    void Send(uint8_t code, uint8_t sub, const dvrformat::StreamRequest& request);
    dvrformat::StreamRequest LiveRequest(uint8_t operation) const;
    // A remote playback request (mode 2) for the channels of the view.
    dvrformat::StreamRequest PlaybackRequest(uint8_t operation, uint32_t time) const;
    void SendPlaybackEnd();
    // The request of a channel shown alone, with or without audio.
    dvrformat::StreamRequest SingleChannelRequest(int channel) const;
    void ResetRenderer();

    ViewerState& state_;
    FrameSink& sink_;
    std::mutex& decodeLock_;
    UiBridge& ui_;
    Notifier& notifier_;
    const SessionTiming timing_;

    DvrSocket socket_;
    DvrProtocol protocol_;
    FrameList frameList_;
    std::unique_ptr<LiveReception> reception_;

    // Written by Connect before the task starts; read by both threads after.
    std::string host_;
    int channelCount_ = 4; // from the settings of the last Connect
    uint8_t speedByte_ = 0;
    bool quietBeforeLogin_ = false; // ConnectSettings::retry

    // User-interface thread only.
    std::thread task_;

    // Set by Connect, cleared by the first Disconnect of the session: the
    // one that sends the session end and closes the socket.
    std::atomic<bool> sessionOpen_{false};
    std::atomic<bool> taskRunning_{false};
    std::atomic<SessionEnd> lastEnd_{SessionEnd::None};
    std::mutex taskEndLock_;           // guards taskEnded_
    std::condition_variable taskEndedCv_;
    bool taskEnded_ = true;

    std::mutex sendLock_; // one request on the wire at a time, whichever thread sends
};

} // namespace tarnvik
