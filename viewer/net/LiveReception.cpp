#include "LiveReception.h"

#include "net/Trace.h"

namespace tarnvik {

using namespace dvrformat;

LiveReception::LiveReception(ViewerState& state, FrameSink& sink, std::mutex& decodeLock, UiBridge& ui,
                             Notifier& notifier, DvrProtocol& protocol, FrameList& frameList,
                             std::function<void()> disconnect, PacingClock clock)
    : state_(state)
    , sink_(sink)
    , decodeLock_(decodeLock)
    , ui_(ui)
    , notifier_(notifier)
    , protocol_(protocol)
    , frameList_(frameList)
    , disconnect_(std::move(disconnect))
    , frameBuffer_(new uint8_t[kFrameBufferSize]())
    , pacing_(std::move(clock))
{
}

void LiveReception::Reset()
{
    resetRequested_.store(false);
    pacing_.Reset();
}

void LiveReception::ApplyPendingReset()
{
    if (resetRequested_.exchange(false))
        pacing_.Reset();
}

LiveReception::Outcome LiveReception::ParseAndDecode(size_t blockSize, bool liveGate, bool decodeEmpty,
                                                     const DataPrefix* handOverPrefix)
{
    Outcome out;
    const uint8_t* block = frameBuffer_.get();
    int frameKind = 0;
    if (!sink_.ParseFrameHeader(block, blockSize, frameKind, false)) {
        ++counters_.dropped;
        return out;
    }
    out.headerParsed = true;
    const FrameInfo& frame = sink_.Frame();
    const int channel = frame.channel & 15;
    out.channel = channel;
    out.streamMs = StreamTimeMs(frame.time, frame.milliseconds);
    // The gate. In the single view it tests the selected channel: it is the
    // one channel streamed there, so it is the frame's own channel as well.
    // In the grid it tests the frame's own channel: the sequence-gap test
    // clears exactly that channel's flag, and testing the selected channel
    // there would decode a channel's predicted pictures on top of a lost
    // reference while dropping healthy channels whenever the selected one
    // has a gap.
    if (liveGate) {
        const int gateChannel = IsSingleView(state_.division.load()) ? (state_.selectedChannel.load() & 15) : channel;
        if (!sink_.IsDecodable(gateChannel) && frame.pictureType == 0 && frame.codec == 1) {
            ++counters_.gated;
            return out;
        }
    }
    out.parsed = true;
    sink_.SetDecodable(channel);
    if (state_.minimised.load() || (!decodeEmpty && frame.videoLength == 0))
        return out;
    // The picture data follows the header; a video length the block cannot
    // hold is the peer's error and is not decoded.
    const size_t headerLength = state_.FrameHeaderLength();
    if (headerLength > blockSize || frame.videoLength > blockSize - headerLength) {
        ++counters_.dropped;
        Trace("frame video length beyond its block");
        return out;
    }
    if (handOverPrefix) {
        HandOver(block + headerLength, frame, handOverPrefix->recording != 0);
        return out;
    }
    out.decoded = sink_.DecodeAndShow(block + headerLength, frame.videoLength, 0);
    if (out.decoded) {
        ++counters_.decoded;
        if (state_.loggedIn.load()) {
            out.frameLine = FormatFrameLine(frame);
            sink_.CommitTimeText();
        }
    }
    return out;
}

void LiveReception::HandOver(const uint8_t* data, const FrameInfo& frame, bool recording)
{
    const bool loggedIn = state_.loggedIn.load();
    std::string line = loggedIn ? FormatFrameLine(frame) : std::string();
    // Runs once the picture was shown or dropped, possibly on a decoding
    // thread, in the order the pictures were handed over. The session drops
    // what is still handed over before this reception goes.
    auto done = [this, line = std::move(line), recording](bool shown) {
        if (!shown)
            return;
        ++counters_.decoded;
        PublishShown(recording, line);
    };
    if (!sink_.HandOverPicture(data, frame.videoLength, loggedIn, std::move(done)))
        ++counters_.overflowed;
}

void LiveReception::Publish(const Outcome& outcome, const DataPrefix& prefix)
{
    if (outcome.decoded)
        PublishShown(prefix.recording != 0, outcome.frameLine);
}

void LiveReception::PublishShown(bool recording, const std::string& frameLine)
{
    ui_.RecordingIndicator(recording);
    if (!frameLine.empty()) {
        frameList_.Add(frameLine);
        ui_.FrameLine(frameLine);
    }
}

void LiveReception::Pace(const Outcome& outcome)
{
    const bool live = state_.mode.load() == kModeLive;
    if (IsSingleView(state_.division.load()))
        pacing_.PacePerChannel(outcome.channel, outcome.streamMs, live);
    else
        pacing_.PaceShared(outcome.streamMs, live);
}

bool LiveReception::ReadBlock(const MessageHeader& header, VideoMessage& video)
{
    if (state_.stopFlag.load())
        return false;
    ApplyPendingReset();
    ++counters_.messages;
    video = protocol_.ReadVideoMessage(header, frameBuffer_.get(), kFrameBufferSize);
    if (video.status == VideoMessage::Status::Ended) {
        disconnect_();
        return false;
    }
    return true;
}

namespace {

// Counts a handler's end on every path out of it.
struct FinishedMark {
    std::atomic<int>& count;
    ~FinishedMark() { ++count; }
};

} // namespace

void LiveReception::OnLiveData(const MessageHeader& header)
{
    const FinishedMark mark{counters_.finished};
    VideoMessage video;
    if (!ReadBlock(header, video))
        return;
    if (video.status == VideoMessage::Status::Dropped) {
        ++counters_.dropped;
        return;
    }
    Outcome outcome;
    {
        // Parsing changes the renderer's per-channel state as much as
        // decoding does, so both are serialised with the user-interface
        // thread; pacing and recording stay outside so it is never held up.
        std::lock_guard<std::mutex> guard(decodeLock_);
        outcome = ParseAndDecode(video.blockSize, true, true, &video.prefix);
    }
    if (outcome.parsed) {
        const int selected = state_.selectedChannel.load() & 15;
        const bool exported = (state_.exportedChannelMask.load() >> selected) & 1;
        if (!exported && !(video.hasPrefix && video.prefix.unpaced))
            Pace(outcome);
    }
    // Only decoding is gated; the recording keeps every block.
    if (outcome.headerParsed && recorder)
        recorder(frameBuffer_.get(), video.blockSize, kModeLive);
}

void LiveReception::OnPlaybackData(const MessageHeader& header)
{
    const FinishedMark mark{counters_.finished};
    VideoMessage video;
    if (!ReadBlock(header, video))
        return;
    if (video.prefix.playbackStopped) {
        disconnect_();
        notifier_.ShowMessage(kPlaybackStopped);
        return;
    }
    if (video.status == VideoMessage::Status::Dropped || header.length > kPlaybackMessageLimit) {
        ++counters_.dropped;
        return;
    }
    Outcome outcome;
    {
        std::lock_guard<std::mutex> guard(decodeLock_);
        outcome = ParseAndDecode(video.blockSize, false, false, nullptr);
        if (outcome.parsed) {
            if (recorder)
                recorder(frameBuffer_.get(), video.blockSize, kModeRemotePlayback);
            // Waits only in live mode, so it holds nobody up here.
            Pace(outcome);
        }
    }
    Publish(outcome, video.prefix);
}

} // namespace tarnvik
