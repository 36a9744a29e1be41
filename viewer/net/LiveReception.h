// The handlers of video data on the command task: live data (code 0x03) and
// playback data (code 0x11). Each reads its message's payload, parses the
// frame header, applies the decodability gate (live only), hands the
// picture to the decode path, lights the REC indicator, writes the frame
// line, paces the display and feeds the recorder hook. Live pictures are
// handed over (FrameSink::HandOverPicture) so that the sink may decode them
// on threads of its own; the REC indicator and the frame line follow each
// picture once it is shown, in the order the pictures came.
//
// Threads: OnLiveData, OnPlaybackData and Reset run on the command task
// only. RequestReset may be called from any thread; the reset is applied by
// the command task before the next frame. The FrameSink is used only under
// the decode lock, which the user-interface thread also takes when it
// changes the renderer. UiBridge calls are made with the lock released.
#pragma once

#include "net/DvrProtocol.h"
#include "net/FrameSink.h"
#include "net/Notifier.h"
#include "net/ReceptionStatus.h"
#include "net/UiBridge.h"
#include "net/ViewerState.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace tarnvik {

inline constexpr const char* kPlaybackStopped = "PB MODE STOP!!!";

// The stream recorder's entry: the whole frame block and the mode of the
// data (kModeLive or kModeRemotePlayback); the recorder decides whether it
// records in that mode. Every block read whole whose frame header parses is
// handed over, also the predicted pictures the gate keeps from decoding: a
// recording holds all the DVR sent. Empty until the recorder exists. Set
// it before Connect: the command task reads it without a lock.
using RecorderHook = std::function<void(const uint8_t* block, size_t size, int mode)>;

// What happened to received video messages, for diagnosis and tests.
// Written by the command task, readable from any thread.
struct ReceptionCounters {
    std::atomic<int> messages{0}; // video messages handled
    std::atomic<int> dropped{0};  // short, oversize, bad magic
    std::atomic<int> gated{0};    // predicted pictures held back by the gate
    std::atomic<int> decoded{0};  // pictures the decode path showed (live: once shown)
    std::atomic<int> overflowed{0}; // live pictures the sink had no room for
    std::atomic<int> finished{0}; // video messages whose handling is over (counted last;
                                  // a live picture handed over may still be decoding)
};

class LiveReception {
public:
    LiveReception(ViewerState& state, FrameSink& sink, std::mutex& decodeLock, UiBridge& ui, Notifier& notifier,
                  DvrProtocol& protocol, FrameList& frameList, std::function<void()> disconnect,
                  PacingClock clock = PacingClock::System());

    void OnLiveData(const dvrformat::MessageHeader& header);
    void OnPlaybackData(const dvrformat::MessageHeader& header);

    // Per-connection state back to its start (command task, or while no
    // command task runs).
    void Reset();
    // Any thread: Reset before the next frame (login, live Play).
    void RequestReset() { resetRequested_.store(true); }

    RecorderHook recorder;
    const ReceptionCounters& Counters() const { return counters_; }

private:
    // The steps both handlers share: nothing while stopped, a pending reset,
    // reading the rest of the message. False when there is nothing more to
    // do (stopped, or the connection ended and was closed).
    bool ReadBlock(const dvrformat::MessageHeader& header, VideoMessage& video);

    // What the locked part of a handler hands to the unlocked part.
    struct Outcome {
        bool headerParsed = false; // the block is recorded, gated or not
        bool parsed = false;       // the block passed the gate
        bool decoded = false;
        std::string frameLine;
        int64_t streamMs = 0;
        int channel = 0;
    };

    void ApplyPendingReset();
    // Parses the block in the frame buffer; decoding as the caller says:
    // with `handOverPrefix` the picture is handed over (live), else decoded
    // here. Caller holds the decode lock.
    Outcome ParseAndDecode(size_t blockSize, bool liveGate, bool decodeEmpty, const dvrformat::DataPrefix* handOverPrefix);
    // The live hand-over, with what follows the picture once shown.
    void HandOver(const uint8_t* data, const FrameInfo& frame, bool recording);
    void Publish(const Outcome& outcome, const dvrformat::DataPrefix& prefix);
    // What follows a shown picture: the REC indicator and its frame line.
    void PublishShown(bool recording, const std::string& frameLine);
    void Pace(const Outcome& outcome);

    ViewerState& state_;
    FrameSink& sink_;
    std::mutex& decodeLock_;
    UiBridge& ui_;
    Notifier& notifier_;
    DvrProtocol& protocol_;
    FrameList& frameList_;
    std::function<void()> disconnect_;

    // Command task only.
    std::unique_ptr<uint8_t[]> frameBuffer_; // allocated once, reused for every frame
    DisplayPacing pacing_;

    std::atomic<bool> resetRequested_{false};
    ReceptionCounters counters_;
};

} // namespace tarnvik
