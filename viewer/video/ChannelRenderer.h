// CChannelRenderer: the one renderer shared by all channels. It parses each
// frame header into the description of the frame being handled, tracks which
// channels can be decoded, decodes the frame's picture (H.264 through the
// channel's decoder, JPEG through libjpeg-turbo) into working buffers,
// crops and interleaves it, and hands it to the pane of its channel.
//
// Threads: ParseFrameHeader, DecodeAndShow, HandOverPicture, CommitTimeText
// and ResetChannels run on the one frame-delivering thread (receive path or
// a player), under ChannelModel::DecodeLock() on the live path. Live
// pictures handed over are decoded by picture workers (PictureWorkers), a
// channel always on the same one, each with working buffers of its own;
// everything a worker needs of the frame is decided at hand-over, except
// the pane, which follows the division at the time the picture is shown.
// DecodeAndShow (players, remote playback) and ResetChannels first drop
// what the workers still hold, so a decoder is never used by two threads.
// The decodable flags and page starts are atomics because the
// user-interface thread clears and sets them. Pane pictures go through
// PaneStore's own lock. Pictures of a channel exported to AVI also go to
// the AviExport on the thread that decoded them.
#pragma once

#include "net/FrameSink.h"
#include "video/PictureLayout.h"
#include "video/PictureWorkers.h"

#include "Quorlin_H264_Dec.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarnvik {

struct ViewerState;
class UiBridge;
class ChannelModel;
class PaneStore;
class AviExport;

// Time text of a frame: "%Y-%m-%d %H:%M:%S.<ms>" in UTC; before 1971 the
// numeric form "%04d-%02d-%02d %02d:%02d:%02d" (same look, no C library
// calendar quirks near the epoch). Milliseconds always with three digits.
std::string FrameTimeText(uint32_t time, int milliseconds);

// Picture workers of a renderer: one per core, at most four (the receiving
// and user-interface threads need some of the machine too).
int DefaultPictureWorkerCount();
// Live pictures a channel may have waiting for its worker (a third of a
// second at 25 pictures/s).
constexpr int kPicturesWaitingPerChannel = 8;

class CChannelRenderer final : public FrameSink {
public:
    // workerCount 0: live pictures decode on the receiving thread.
    CChannelRenderer(ViewerState& state, ChannelModel& model, PaneStore& panes, UiBridge& ui,
                     int workerCount = DefaultPictureWorkerCount());
    ~CChannelRenderer() override;

    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) override;
    const FrameInfo& Frame() const override { return frame_; }
    bool IsDecodable(int channel) const override;
    void SetDecodable(int channel) override;
    bool DecodeAndShow(const uint8_t* data, size_t length, int channelSlot) override;
    void CommitTimeText() override;
    void ResetChannels() override;
    bool HandOverPicture(const uint8_t* data, size_t length, bool commitTimeText,
                         std::function<void(bool shown)> done) override;
    void DropHandedOverPictures() override;

    // Set once before any frame arrives: where exported channels' pictures go.
    void SetAviExport(AviExport* aviExport) { avi_ = aviExport; }

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
    // Any thread: the channel of the picture shown last, and the decoder's
    // last result per handle.
    int LastChannel() const { return lastChannel_.load(); }
    int DecodeStatus(int handle) const { return (handle >= 0 && handle < 16) ? decodeStatus_[handle].load() : 0; }
    const std::string& TimeText() const { return frame_.timeText; }

private:
    // The decoder's output and the cropped, interleaved copy of it.
    struct WorkBuffers {
        WorkBuffers();
        std::unique_ptr<uint8_t, void (*)(void*)> rgb;
        std::unique_ptr<uint8_t, void (*)(void*)> dib;
    };

    // What the frame parsed last needs to be decoded and shown, decided on
    // the frame-delivering thread. False when it is not to be decoded.
    bool PreparePicture(const uint8_t* data, size_t length, int channelSlot, PictureJob& job);
    // Decodes and shows a prepared picture with the given buffers (any
    // thread that owns the job's decoder).
    bool RenderPicture(const PictureJob& job, const uint8_t* data, size_t length, WorkBuffers& buffers);
    bool DecodeH264(const PictureJob& job, const uint8_t* data, size_t length, WorkBuffers& buffers);
    void Recreate(DecoderHandle& handle);
    // Row copy, counters and hand-over of the picture in buffers.rgb to the
    // pane that shows `channel` now.
    bool Present(const PictureJob& job, int pane, int channel, int width, int rows, int topMargin, size_t length,
                 WorkBuffers& buffers);
    DivisionView CurrentView() const;
    void SetPaneTimeText(int channel, const std::string& timeText);

    ViewerState& state_;
    ChannelModel& model_;
    PaneStore& panes_;
    UiBridge& ui_;
    AviExport* avi_ = nullptr;

    // Frame-delivering thread only.
    FrameInfo frame_;
    int lineDoubling_ = 1;
    int decoderIndex_ = 0;
    int resolutionCode_ = 0;
    int streamClass_ = 1;
    int width_ = 0; // 0 until a code gives a size: such frames are dropped
    int height_ = 0;
    int rateSum_ = 0;
    int sequence_[16] = {};
    int previousSequence_[16] = {};
    int milliseconds_[16] = {};
    int framesPerSecond_[16] = {};
    int rateCounted_[16] = {};
    int channelResolution_[16] = {}; // each channel's last resolution code
    int audioInput_[16] = {};
    WorkBuffers buffers_; // of DecodeAndShow

    // Written by whichever thread decodes.
    std::atomic<int> lastChannel_{0};
    std::atomic<int> decodeStatus_[16];
    std::vector<WorkBuffers> workerBuffers_;

    // Written by the frame-delivering thread and the user-interface thread.
    std::atomic<int> decodable_[16];
    std::atomic<int> pageStart_{0};
    std::atomic<int> pageStart1_{-1};

    // Last member: its workers end before anything they use goes.
    std::unique_ptr<PictureWorkers> workers_;
};

} // namespace tarnvik
