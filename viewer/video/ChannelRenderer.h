// CChannelRenderer: the one renderer shared by all channels. It parses each
// frame header into the description of the frame being handled, tracks which
// channels can be decoded, decodes the frame's picture (H.264 through the
// channel's decoder, JPEG through libjpeg-turbo) into working buffers,
// crops and interleaves it, and hands it to the pane of its channel.
//
// Threads: ParseFrameHeader, DecodeAndShow, CommitTimeText and
// ResetChannels run on the one frame-delivering thread (receive path or a
// player), DecodeAndShow under ChannelModel::DecodeLock() on the live path.
// The decodable flags and page starts are atomics because the
// user-interface thread clears and sets them. Pane pictures go through
// PaneStore's own lock.
#pragma once

#include "net/FrameSink.h"

#include "Quorlin_H264_Dec.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tarnvik {

struct ViewerState;
class UiBridge;
class ChannelModel;
class PaneStore;

// Time text of a frame: "%Y-%m-%d %H:%M:%S.<ms>" in UTC; before 1971 the
// numeric form "%04d-%02d-%02d %02d:%02d:%02d" (same look, no C library
// calendar quirks near the epoch). Milliseconds without zero padding.
std::string FrameTimeText(uint32_t time, int milliseconds);

class CChannelRenderer final : public FrameSink {
public:
    CChannelRenderer(ViewerState& state, ChannelModel& model, PaneStore& panes, UiBridge& ui);
    ~CChannelRenderer() override;

    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) override;
    const FrameInfo& Frame() const override { return frame_; }
    bool IsDecodable(int channel) const override;
    void SetDecodable(int channel) override;
    bool DecodeAndShow(const uint8_t* data, size_t length, int channelSlot) override;
    void CommitTimeText() override;
    void ResetChannels() override;

    // User-interface thread: a division change clears a channel's flag.
    void ClearDecodable(int channel);
    // User-interface thread: the page start of the current division and the
    // channel of division 1, read by the channel-to-pane mapping.
    void SetPageStarts(int pageStart, int pageStart1);

    // Frame-delivering thread: the description of the frame being handled.
    int LineDoubling() const { return lineDoubling_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int StreamClass() const { return streamClass_; }
    int RateSum() const { return rateSum_; }
    int LastChannel() const { return lastChannel_; }
    int DecodeStatus(int handle) const { return (handle >= 0 && handle < 16) ? decodeStatus_[handle] : 0; }
    const std::string& TimeText() const { return frame_.timeText; }

private:
    bool DecodeH264(const uint8_t* data, size_t length, int channel, int pane, int handleIndex, int croppedHeight,
                    int topMargin);
    void Recreate(DecoderHandle& handle);
    bool DecodeJpeg(const uint8_t* data, size_t length);
    // Row copy, counters and hand-over of the picture in rgbBuffer.
    bool Present(int pane, int channel, int width, int rows, int topMargin, size_t length);

    ViewerState& state_;
    ChannelModel& model_;
    PaneStore& panes_;
    UiBridge& ui_;

    // Frame-delivering thread only.
    FrameInfo frame_;
    int lineDoubling_ = 1;
    int decoderIndex_ = 0;
    int resolutionCode_ = 0;
    int streamClass_ = 1;
    int width_ = 0; // 0 until a code gives a size: such frames are dropped
    int height_ = 0;
    int rateSum_ = 0;
    int lastChannel_ = 0;
    int sequence_[16] = {};
    int previousSequence_[16] = {};
    int milliseconds_[16] = {};
    int framesPerSecond_[16] = {};
    int rateCounted_[16] = {};
    int channelResolution_[16] = {}; // each channel's last resolution code
    int decodeStatus_[16] = {};
    int audioInput_[16] = {};
    std::unique_ptr<uint8_t[]> rgbBuffer_; // decoder output, kPictureBufferBytes
    std::unique_ptr<uint8_t[]> dibBuffer_; // after crop and interleave, same size

    // Written by the frame-delivering thread and the user-interface thread.
    std::atomic<int> decodable_[16];
    std::atomic<int> pageStart_{0};
    std::atomic<int> pageStart1_{-1};
};

} // namespace tarnvik
