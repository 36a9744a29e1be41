// The test DVR: a TCP server that follows the DVR command protocol. It
// answers login, streams live pictures of bundled clips for the requested
// channels, plays back a recording by time, logs stream, playback and
// pan/tilt/zoom requests, sends the finish message and error replies on demand, and can
// inject faults into what it sends.
#pragma once

#include "Media.h"
#include "Chaos.h"
#include "Recording.h"
#include "UpgradeReceiver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testdvr {

struct Options {
    uint16_t port = 2200;
    uint16_t upgradePort = 4700;
    int channels = 16;
    std::string password;
    uint32_t type = 0x2200;
    uint32_t version = 0x0303;
    uint32_t model = 1;
    int codecKind = -1; // -1: decided from type and version as a viewer would
    bool audio = false;
    int jpegChannel = -1;
    bool noPrefix = false; // send live data with header sub 0x40 and no prefix
    std::set<std::string> faults;
    int faultAfter = 50; // live data messages before a fault strikes
    std::string mediaDir;
    std::string clip; // when set, every channel plays this clip of mediaDir
    int framesPerSecond = 25;
    // When set, every picture's frame block (frame header, picture, audio:
    // the message less its header and data prefix) is appended to this file
    // once it was sent whole, in send order. Fault messages are not.
    std::string copySent;
    // Remote playback: a `.DVR` backup, or (when empty) the clips as if
    // every channel had been recorded for playbackSeconds from playbackStart.
    std::string playbackFile;
    uint32_t playbackStart = 1235908800; // 2009-03-01 12:00:00
    int playbackSeconds = 3600;
    // The firmware upgrade receiver on upgradePort (0: one the system chooses).
    UpgradeOptions upgrade;
    // >= 0: the chaos schedule of this seed runs on every session's live video.
    int64_t chaosSeed = -1;
};

// Fault names accepted by --fault and by the "fault NAME" control command.
const std::vector<std::string>& FaultNames();

// The CodecKind a viewer decides for this type word and version.
int CodecKindFor(uint32_t type, uint32_t version);

class Session;

class DvrServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    DvrServer(Options options, LogFn log);
    ~DvrServer();

    // Loads the clips and starts listening on 127.0.0.1. False with a reason.
    bool Start(std::string& error);
    uint16_t Port() const { return port_; }
    // The upgrade receiver's port; 0 when it could not listen (UpgradeError
    // says why; the DVR serves everything else all the same).
    uint16_t UpgradePort() const { return upgrade_ ? upgrade_->Port() : 0; }
    const std::string& UpgradeError() const { return upgradeError_; }
    // Accepts connections until Stop(); each runs as a session of its own.
    // The listening socket closes when Run returns.
    void Run();
    // Ends every session; Run returns soon after. May be called from any
    // thread; the object may be destroyed only once Run has returned.
    void Stop();

    // A control command (one line): "finish", "error 0xNNNN", "status",
    // "drop", "fault NAME", "stall", "resume". Returns false when unknown.
    bool Control(const std::string& line);

    const Options& options() const { return options_; }
    const Clip& ClipForChannel(int channel) const;
    // Appends a sent frame block to the copySent file (nothing without one).
    void CopySent(const uint8_t* block, size_t size);
    void Log(const std::string& line) const { log_(line); }

    const Recording& Recorded() const { return *recording_; }
    // The chaos schedule, or null without --chaos.
    ChaosPlan* Chaos() const { return chaos_.get(); }
    // The DVR plays back to one viewer at a time: a session claims playback
    // when it positions and releases it at its session end or when it closes.
    bool ClaimPlayback(const Session* session);
    void ReleasePlayback(const Session* session);

private:
    Options options_;
    LogFn log_;
    std::vector<Clip> clips_;
    Clip jpeg_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex sessionsLock_;
    std::vector<std::shared_ptr<Session>> sessions_;
    std::unique_ptr<Recording> recording_;
    std::unique_ptr<ChaosPlan> chaos_;
    std::mutex playbackLock_; // guards playbackOwner_
    const Session* playbackOwner_ = nullptr;
    std::mutex copyLock_; // one block at a time into copyFd_
    int copyFd_ = -1;
    std::unique_ptr<UpgradeReceiver> upgrade_;
    std::string upgradeError_;
};

} // namespace testdvr
