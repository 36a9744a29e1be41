// Remote playback by time on one viewer connection. The viewer positions the
// playback at a time, then asks for the stream or steps picture by picture;
// every request is logged with its fields so that tests can assert the
// order the viewer sent them in.
#include "Session.h"

#include <cstring>

namespace testdvr {

using namespace dvrformat;

namespace {

// Error replies of the playback family.
constexpr uint16_t kNoSearchData = 0x3021;
constexpr uint16_t kFirstPosition = 0x3024;
constexpr uint16_t kLastPosition = 0x3025;
constexpr uint16_t kSessionExists = 0x3026;

} // namespace

void Session::HandlePlayback(const MessageHeader& header, const StreamRequest& request, const uint8_t* payload)
{
    if (header.code == cmd::PlaybackEnd) {
        server_.Log("playback end op=" + std::to_string(request.op) + " mode=" + std::to_string(request.mode));
        EndPlayback();
        // Acknowledged with the same code; the viewer reads and ignores it.
        SendHeaderAndPayload(cmd::PlaybackEnd, header.sub, payload, kStreamRequestSize);
        return;
    }
    server_.Log("playback request code=" + Hex(header.code, 2) + " sub=" + std::to_string(header.sub) +
                " op=" + std::to_string(request.op) + " time=" + std::to_string(request.time) +
                " channels=" + Hex(request.channels, 4) + " panes=" + std::to_string(request.panes) +
                " mode=" + std::to_string(request.mode));
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (!loggedIn_) {
            server_.Log("playback request ignored: not logged in");
            return;
        }
    }
    const uint32_t mask = request.channels & server_.Recorded().ChannelMask();
    if (header.code == cmd::PlaybackPosition) {
        if (request.op == op::SetPosition)
            PositionPlayback(request.time);
        return;
    }
    switch (request.op) {
    case op::StreamNoAudio:
    case op::StreamWithAudio: {
        std::lock_guard<std::mutex> guard(stateLock_);
        // Without a position there is nothing to stream; the failed
        // position request has already been answered.
        if (!playbackOpen_) {
            server_.Log("playback stream ignored: not positioned");
            return;
        }
        playbackMask_ = mask;
        playbackStreaming_ = true;
        wake_.notify_all();
        return;
    }
    case op::Stop: {
        std::lock_guard<std::mutex> guard(stateLock_);
        playbackStreaming_ = false;
        return;
    }
    case op::StepForward:
    case op::StepBackward: {
        bool open;
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            open = playbackOpen_;
        }
        // A step after the session ended starts a new one at its own time.
        if (!open && !PositionPlayback(request.time))
            return;
        StepPlayback(request.op == op::StepForward, mask);
        return;
    }
    default:
        return;
    }
}

bool Session::PositionPlayback(uint32_t time)
{
    if (!server_.ClaimPlayback(this)) {
        SendError(kSessionExists);
        return false;
    }
    const size_t found = server_.Recorded().Find(time);
    std::lock_guard<std::mutex> guard(stateLock_);
    playbackStreaming_ = false;
    if (found == kNoInstant) {
        playbackOpen_ = false;
        server_.ReleasePlayback(this);
        server_.Log("playback position " + std::to_string(time) + ": no recording");
        SendError(kNoSearchData);
        return false;
    }
    playbackOpen_ = true;
    playbackNext_ = found;
    playbackShown_ = kNoInstant;
    server_.Log("playback position " + std::to_string(time) + " -> instant " + std::to_string(found));
    return true;
}

void Session::EndPlayback()
{
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        playbackOpen_ = false;
        playbackStreaming_ = false;
    }
    server_.ReleasePlayback(this);
}

void Session::StepPlayback(bool forward, uint32_t mask)
{
    const Recording& recorded = server_.Recorded();
    size_t target;
    bool shownAny;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        playbackStreaming_ = false;
        // Right after positioning, forward shows the instant positioned at
        // and backward the one before it; later steps move from the instant
        // shown last.
        shownAny = playbackShown_ != kNoInstant;
        const size_t from = shownAny ? playbackShown_ : playbackNext_;
        const bool atFirst = from == 0;
        const bool atLast = forward && (shownAny ? from + 1 : from) >= recorded.InstantCount();
        if (forward ? atLast : atFirst) {
            server_.Log(forward ? "playback step: last position" : "playback step: first position");
            SendError(forward ? kLastPosition : kFirstPosition);
            return;
        }
        target = forward ? (shownAny ? from + 1 : from) : from - 1;
        playbackShown_ = target;
        playbackNext_ = target + 1;
        playbackMask_ = mask;
    }
    server_.Log(std::string("playback step ") + (forward ? "forward" : "backward") + " -> instant " +
                std::to_string(target));
    // A picture that does not follow the one shown last is sent with the
    // pictures it is predicted from, beginning at its channel's key picture.
    SendInstant(target, mask, !forward || !shownAny);
}

std::vector<uint8_t> PlaybackMessage(const std::vector<uint8_t>& block, bool unpaced, bool end)
{
    std::vector<uint8_t> message(kMessageHeaderSize + kDataPrefixSize + block.size());
    MessageHeader header;
    header.code = cmd::Playback;
    header.sub = 2;
    header.length = uint32_t(message.size()); // video messages count their own header
    header.Write(message.data());
    DataPrefix prefix;
    prefix.playbackStopped = end ? 1 : 0;
    prefix.unpaced = unpaced ? 1 : 0;
    prefix.Write(message.data() + kMessageHeaderSize);
    if (!block.empty())
        std::memcpy(message.data() + kMessageHeaderSize + kDataPrefixSize, block.data(), block.size());
    return message;
}

bool Session::SendPlaybackMessage(const std::vector<uint8_t>& block, bool unpaced, bool end)
{
    const std::vector<uint8_t> message = PlaybackMessage(block, unpaced, end);
    std::lock_guard<std::mutex> guard(sendLock_);
    return Send(message.data(), message.size(), Slow());
}

bool Session::SendInstant(size_t instant, uint32_t mask, bool fromKey)
{
    const Recording& recorded = server_.Recorded();
    std::vector<uint8_t> block;
    for (int c = 0; c < 16; ++c) {
        if (!(mask & (1u << c)))
            continue;
        size_t first = instant;
        if (fromKey) {
            first = recorded.KeyInstant(instant, c);
            if (first == kNoInstant)
                continue;
        }
        for (size_t i = first; i <= instant; ++i) {
            bool key = false;
            if (!recorded.Frame(i, c, block, key))
                continue;
            const auto build = [&](std::vector<uint8_t>& message) { message = PlaybackMessage(block, false, false); };
            if (!ApplyPeriodicFaults(build) || !SendPlaybackMessage(block, fromKey, false))
                return false;
        }
    }
    return true;
}

bool Session::StreamPlayback()
{
    size_t instant;
    uint32_t mask;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        instant = playbackNext_;
        mask = playbackMask_;
        if (instant >= server_.Recorded().InstantCount()) {
            // The end of the recording: the DVR says so and closes its session.
            playbackStreaming_ = false;
            playbackOpen_ = false;
        } else {
            playbackShown_ = instant;
            playbackNext_ = instant + 1;
        }
    }
    if (instant >= server_.Recorded().InstantCount()) {
        server_.ReleasePlayback(this);
        server_.Log("playback reached the end");
        return SendPlaybackMessage({}, false, true);
    }
    return SendInstant(instant, mask, false);
}

} // namespace testdvr
