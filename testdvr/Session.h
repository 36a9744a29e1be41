// One viewer connection to the test DVR: a reader thread that answers
// requests (and sends the pictures of playback steps), and a streamer thread
// that sends live pictures and the playback stream at the clips' rate. Everything written to the socket goes through Send, one message at a
// time, so replies and pictures never interleave.
#pragma once

#include "DvrServer.h"

#include "dvrformat/Messages.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testdvr {

// The DVR's clock, which every picture carries: local wall-clock time
// counted as if it were UTC.
void DvrNow(uint32_t& seconds, uint16_t& milliseconds);

// A playback data message: header (its length counting itself), data
// prefix with the unpaced and end-of-playback bytes, then `block`.
std::vector<uint8_t> PlaybackMessage(const std::vector<uint8_t>& block, bool unpaced, bool end);

// "0x" and `digits` hexadecimal digits, for the log.
std::string Hex(uint32_t v, int digits);

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(DvrServer& server, int fd, std::string peer);
    ~Session();

    void Start();
    // Closes the connection and joins both threads.
    void Stop();
    bool Finished() const { return finished_.load(); }

    void SendFinish();
    void SendError(uint16_t code);
    void SendStatus();
    void Drop();
    void InjectFault(const std::string& name); // strikes at the next picture
    void SetStalled(bool stalled);

private:
    void ReadLoop();
    void StreamLoop();
    void HandleRequest(const dvrformat::MessageHeader& header, const uint8_t* payload);
    void HandleLogin(const uint8_t* payload);
    void HandleLive(const dvrformat::MessageHeader& header, const dvrformat::StreamRequest& request);
    // Remote playback by time: position, stream, steps, stop, session end.
    void HandlePlayback(const dvrformat::MessageHeader& header, const dvrformat::StreamRequest& request,
                        const uint8_t* payload);
    // Opens the playback session at `time`; false (with the error reply
    // sent) when it cannot be.
    bool PositionPlayback(uint32_t time);
    void EndPlayback();
    void StepPlayback(bool forward, uint32_t mask);
    // Sends one instant of the recording for the channels of `mask`; with
    // `fromKey` each channel from its key picture on, unpaced, so that the
    // instant can be decoded whatever was shown before.
    bool SendInstant(size_t instant, uint32_t mask, bool fromKey);
    bool SendPlaybackMessage(const std::vector<uint8_t>& block, bool unpaced, bool end);
    // One tick of the playback stream: the next instant, or the end mark.
    bool StreamPlayback();
    void SendPicture(int channel);
    // Builds a live data message for one picture.
    void BuildPicture(int channel, std::vector<uint8_t>& message);
    bool Send(const uint8_t* data, size_t size, bool slow);
    bool SendHeaderAndPayload(uint8_t code, uint8_t sub, const uint8_t* payload, size_t size);
    // Sends or does what the fault says. False when no more pictures are to
    // be sent for now (the connection ended or the stream stalled). `build`
    // makes a healthy message of the stream under way, for the faults that
    // cut or enlarge one.
    bool ApplyFault(const std::string& fault, const std::function<void(std::vector<uint8_t>&)>& build);
    // One step of the chaos schedule before a tick's pictures: false when
    // none are to be sent now (a black hole, or the connection ended).
    bool ChaosTick(ChaosPlan& chaos);
    bool ApplyChaosFault(const std::string& fault, ChaosPlan& chaos, int channel);
    bool Slow() const { return trickle_.load() || (!server_.Chaos() && options_.faults.count("slow") > 0); }
    // The periodic faults of --fault, counted over every picture sent.
    bool ApplyPeriodicFaults(const std::function<void(std::vector<uint8_t>&)>& build);

    DvrServer& server_;
    const Options& options_;
    int fd_;
    std::string peer_;
    std::thread reader_;
    std::thread streamer_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> finished_{false};
    std::mutex sendLock_; // one message on the wire at a time

    // Stream state, guarded by stateLock_.
    std::mutex stateLock_;
    std::condition_variable wake_;
    bool loggedIn_ = false;
    uint32_t streamMask_ = 0;
    bool paused_ = false;
    bool withAudio_ = false;
    bool stalled_ = false;
    std::string pendingFault_;
    int nextPicture_[16] = {};
    int sequence_[16] = {};
    // Remote playback: a session is open once positioned; `next` is the
    // instant the stream sends next, `shown` the last one sent (none right
    // after positioning).
    bool playbackOpen_ = false;
    bool playbackStreaming_ = false;
    uint32_t playbackMask_ = 0;
    size_t playbackNext_ = 0;
    size_t playbackShown_ = ~size_t(0);

    // Pictures sent (live, playback stream and steps), which the periodic
    // faults count.
    std::atomic<long> picturesSent_{0};

    std::atomic<bool> trickle_{false}; // a chaos trickle: every message sent a few bytes at a time

    // Streamer thread only.
    bool chaosStarted_ = false;
    // "black-hole" or "trickle" while one runs; "ended" once the viewer was
    // sent what makes it give the connection up.
    std::string chaosLasting_;
    std::chrono::steady_clock::time_point chaosUntil_;
    ChaosStep chaosStep_;
    std::vector<uint8_t> message_;
    uint32_t audioPhase_[16] = {};
};

} // namespace testdvr
