// The per-channel decoders and the decode lock of the main window: sixteen
// DecoderHandles (one per channel number; a single-stream DVR uses only
// handle 0), created at start-up and freed in order at teardown.
#pragma once

#include "Quorlin_H264_Dec.h"

#include <functional>
#include <mutex>

namespace tarnvik {

class Notifier;

// The decoder library's entry points, replaceable so that tests can make an
// initialisation fail or script the decoder's results.
struct DecoderApi {
    std::function<int32_t(DecoderHandle*)> init = QL_H264dec_Init;
    std::function<int32_t(DecoderHandle*, const uint8_t*, uint32_t, uint8_t*)> getOneFrame = QL_H264dec_GetOneFrame;
    std::function<void(DecoderHandle*)> uninit = QL_H264dec_Uninit;
};

constexpr int kDecoderCount = 16;
constexpr int32_t kDecoderOutputBgr = 3;

class ChannelModel {
public:
    explicit ChannelModel(Notifier& notifier, DecoderApi api = {});
    // Uninit of every handle with a context, channel 0 first.
    ~ChannelModel();
    ChannelModel(const ChannelModel&) = delete;
    ChannelModel& operator=(const ChannelModel&) = delete;

    // Start-up: each handle gets threads 1 and outputFormat 3 and is
    // initialised; a failure shows "H.264 Decoder Init Error !" and start-up
    // goes on with the next channel. Returns the number of failures.
    int InitDecoders();
    // Disk playback start: Uninit then Init for every handle, same message.
    int RecreateDecoders();

    // The decode thread's access to a handle (index 0..15) and the library.
    // Guarded by decodeLock() on the live path; one thread at a time.
    DecoderHandle& Handle(int index) { return handles_[index]; }
    const DecoderApi& Api() const { return api_; }

    // Held by the receive path around DecodeAndShow and by whoever changes
    // the renderer from the user-interface thread (AVI start and stop).
    std::mutex& DecodeLock() { return decodeLock_; }

private:
    int InitOne(int index);

    Notifier& notifier_;
    DecoderApi api_;
    DecoderHandle handles_[kDecoderCount] = {};
    std::mutex decodeLock_;
};

} // namespace tarnvik
