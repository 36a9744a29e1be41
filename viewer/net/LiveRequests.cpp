// The live stream requests of the user-interface thread, and the stop
// requests of the session's end paths.
#include "DvrSession.h"

namespace tarnvik {

using namespace dvrformat;

namespace {

bool IsGridDivision(int division)
{
    switch (division) {
    case 4: case 6: case 8: case 9: case 10: case 13: case 16:
        return true;
    default:
        return false;
    }
}

} // namespace

void DvrSession::Send(uint8_t code, uint8_t sub, const StreamRequest& request)
{
    std::lock_guard<std::mutex> guard(sendLock_);
    protocol_.SendStreamRequest(code, sub, request);
}

StreamRequest DvrSession::LiveRequest(uint8_t operation) const
{
    StreamRequest request;
    request.op = operation;
    request.speed = speedByte_;
    request.mode = kModeLive;
    return request;
}

StreamRequest DvrSession::SingleChannelRequest(int channel) const
{
    StreamRequest request = LiveRequest(state_.audioOn.load() ? op::StreamWithAudio : op::StreamNoAudio);
    request.channels = 1u << (channel & 15);
    request.panes = 1;
    return request;
}

void DvrSession::LivePlay()
{
    if (!IsConnected() || !state_.loggedIn.load())
        return;
    state_.streamState = kStreamRequested;
    ResetRenderer();
    reception_->RequestReset();
    // The view is read under the send lock: when two Plays race (the login's
    // on the command task, the window's once it has shown its view after the
    // login), the one sent last carries the view that holds.
    std::lock_guard<std::mutex> guard(sendLock_);
    StreamRequest request;
    const int division = state_.division.load();
    if (IsSingleView(division)) {
        request = SingleChannelRequest(state_.selectedChannel.load());
    } else {
        request = LiveRequest(op::StreamWithAudio);
        request.channels = 0xFFFF;
        request.panes = uint8_t(division);
    }
    protocol_.SendStreamRequest(cmd::Live, 1, request);
}

void DvrSession::LivePause()
{
    if (!IsConnected())
        return;
    state_.streamState = kStreamStopped;
    Send(cmd::Live, 1, LiveRequest(op::Stop));
}

void DvrSession::LiveTabShown()
{
    state_.mode = kModeLive;
    if (IsConnected())
        Send(cmd::Live, 1, LiveRequest(op::LiveResume));
}

void DvrSession::LiveTabHidden()
{
    if (!IsConnected())
        return;
    state_.streamState = kStreamStopped;
    Send(cmd::Live, 20, LiveRequest(op::Stop));
}

void DvrSession::DivisionChanged(int division)
{
    if (!IsConnected() || !state_.loggedIn.load() || !IsGridDivision(division))
        return;
    const int mode = state_.mode.load();
    StreamRequest request = LiveRequest(op::StreamWithAudio);
    request.channels = 0xFFFF;
    request.panes = uint8_t(division);
    request.time = 0;
    request.mode = division == 4 ? uint8_t(kModeLive) : uint8_t(mode);
    if (mode == kModeRemotePlayback)
        Send(cmd::Playback, 2, request);
    else
        Send(cmd::Live, 1, request);
}

void DvrSession::ChannelChosen(int channel, bool hasVideo)
{
    if (!IsConnected() || !state_.loggedIn.load() || !hasVideo || channel < 0 || channel > 15)
        return;
    const int mode = state_.mode.load();
    StreamRequest request = SingleChannelRequest(channel);
    request.mode = uint8_t(mode);
    if (mode == kModeRemotePlayback)
        Send(cmd::Playback, 2, request);
    else
        Send(cmd::Live, 1, request);
}

void DvrSession::AudioSwitched()
{
    if (!IsConnected() || !state_.loggedIn.load() || !IsSingleView(state_.division.load()))
        return;
    StreamRequest request = SingleChannelRequest(state_.selectedChannel.load());
    request.time = 0;
    if (state_.mode.load() == kModeRemotePlayback) {
        request.mode = kModeRemotePlayback;
        Send(cmd::Playback, 2, request);
    } else {
        Send(cmd::Live, 1, request);
    }
}

void DvrSession::LocalPlaybackStarted()
{
    if (!IsConnected())
        return;
    Send(cmd::Live, 20, LiveRequest(op::Stop));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    StreamRequest request = LiveRequest(op::Stop);
    request.mode = kModeRemotePlayback;
    Send(cmd::Playback, 20, request);
}

void DvrSession::SendPtz(uint8_t ptzOp)
{
    if (!IsConnected() || !state_.loggedIn.load() || !IsSingleView(state_.division.load()) || !IsPtzOp(ptzOp))
        return;
    state_.streamState = kStreamRequested;
    Send(cmd::Live, 1, StreamRequest::PanTiltZoom(state_.selectedChannel.load() & 15, ptzOp, speedByte_));
}

void DvrSession::LeaveNetworkViewing()
{
    Send(cmd::Live, 20, LiveRequest(op::Stop));
    state_.streamState = kStreamStopped;
    Disconnect();
}

void DvrSession::EndOfProgram()
{
    state_.streamState = kStreamIdle;
    state_.audioOn = false;
    if (sessionOpen_.load()) {
        if (state_.mode.load() == kModeRemotePlayback) {
            StreamRequest request = LiveRequest(op::Stop);
            request.mode = kModeRemotePlayback;
            Send(cmd::Playback, 2, request);
        } else {
            Send(cmd::Live, 1, LiveRequest(op::Stop));
        }
        state_.stopFlag = true;
        std::this_thread::sleep_for(timing_.stopGrace);
    }
    Disconnect();
}

} // namespace tarnvik
