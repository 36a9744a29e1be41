// The remote playback requests of the user-interface thread: playing back
// what the DVR recorded from a chosen time, pausing, stepping both ways and
// ending the DVR's playback session.
#include "DvrSession.h"

namespace tarnvik {

using namespace dvrformat;

namespace {

// The DVR takes a request only after it has handled the one before; this
// pause is all the ordering the protocol offers.
constexpr auto kRequestGap = std::chrono::milliseconds(10);

} // namespace

StreamRequest DvrSession::PlaybackRequest(uint8_t operation, uint32_t time) const
{
    StreamRequest request;
    request.op = operation;
    request.speed = speedByte_;
    request.mode = kModeRemotePlayback;
    request.time = time;
    const int division = state_.division.load();
    if (IsSingleView(division)) {
        request.channels = 1u << (state_.selectedChannel.load() & 15);
        request.panes = 1;
    } else {
        request.channels = 0xFFFF;
        request.panes = uint8_t(division);
    }
    return request;
}

void DvrSession::SendPlaybackEnd()
{
    Send(cmd::PlaybackEnd, 4, PlaybackRequest(op::EndSession, 0));
}

bool DvrSession::RemotePlay(uint32_t time)
{
    if (!IsConnected() || !state_.loggedIn.load())
        return false;
    if (state_.streamState.load() != kStreamIdle) {
        // Whatever runs stops before the DVR is repositioned.
        Send(cmd::Live, 20, LiveRequest(op::Stop));
        state_.streamState = kStreamStopped;
        std::this_thread::sleep_for(kRequestGap);
    }
    state_.streamState = kStreamRequested;
    Send(cmd::PlaybackPosition, 2, PlaybackRequest(op::SetPosition, time));
    std::this_thread::sleep_for(kRequestGap);
    const bool single = IsSingleView(state_.division.load());
    const uint8_t stream = single && !state_.audioOn.load() ? op::StreamNoAudio : op::StreamWithAudio;
    Send(cmd::Playback, 2, PlaybackRequest(stream, 0));
    ResetRenderer();
    reception_->RequestReset();
    return true;
}

void DvrSession::RemotePause()
{
    if (!IsConnected())
        return;
    state_.streamState = kStreamStopped;
    Send(cmd::Playback, 2, PlaybackRequest(op::Stop, 0));
    SendPlaybackEnd();
}

void DvrSession::RemoteStep(bool forward, uint32_t time)
{
    if (!IsConnected() || !state_.loggedIn.load())
        return;
    if (state_.streamState.load() == kStreamIdle) {
        state_.streamState = kStreamRequested;
        Send(cmd::PlaybackPosition, 2, PlaybackRequest(op::SetPosition, time));
        std::this_thread::sleep_for(kRequestGap);
    } else {
        state_.streamState = kStreamStepping;
    }
    Send(cmd::Playback, 2, PlaybackRequest(forward ? op::StepForward : op::StepBackward, time));
}

void DvrSession::RemoteTimeReset()
{
    if (IsConnected())
        SendPlaybackEnd();
    state_.streamState = kStreamIdle;
}

void DvrSession::RemoteTabShown()
{
    state_.streamState = kStreamIdle;
    state_.mode = kModeRemotePlayback;
}

void DvrSession::RemoteTabHidden()
{
    state_.streamState = kStreamIdle;
    if (IsConnected())
        SendPlaybackEnd();
}

} // namespace tarnvik
