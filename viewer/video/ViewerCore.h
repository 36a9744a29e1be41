// The viewer without its window: the program-wide state, the panes, the
// sixteen decoders, the channel renderer, the stream recorder and the DVR
// session, built and torn down in the order they depend on each other. The
// main window owns one; tests and benchmarks use it headless.
#pragma once

#include "net/DvrSession.h"
#include "net/ViewerState.h"
#include "storage/StreamRecorder.h"
#include "video/AviExport.h"
#include "video/ChannelModel.h"
#include "video/ChannelRenderer.h"
#include "video/PaneStore.h"

namespace tarnvik {

class ViewerCore {
public:
    // The decoders are initialised at once; a failing channel is reported
    // through `notifier` and the others stay usable. Every live and remote
    // playback frame block that the session receives goes to the recorder,
    // which keeps those of the mode it records (`recorderRolloverBytes`:
    // the size past which it starts a new file).
    ViewerCore(Notifier& notifier, UiBridge& ui, SessionTiming timing = {},
               uint64_t recorderRolloverBytes = kRolloverBytes);
    // The session ends first (its command task is joined), then the
    // renderer and the decoders go.
    ~ViewerCore();
    ViewerCore(const ViewerCore&) = delete;
    ViewerCore& operator=(const ViewerCore&) = delete;

    ViewerState& State() { return state_; }
    PaneStore& Panes() { return panes_; }
    ChannelModel& Channels() { return model_; }
    CChannelRenderer& Renderer() { return renderer_; }
    DvrSession& Session() { return session_; }
    // The window sets its folder from the profile (SetFolder), starts and
    // stops it and follows onStateChanged with the REC mark.
    StreamRecorder& Recorder() { return recorder_; }
    // The AVI export of chosen channels, fed by the renderer.
    AviExport& Export() { return aviExport_; }

    // Connects as the Connect button does: the sixteen panes lose their
    // pictures and time texts and show no video, then the session connects
    // (which resets the renderer and the frame list).
    bool Connect(const ConnectSettings& settings);

    // The picture panes show when they have no video (none by default).
    void SetNoVideoPicture(const QImage& picture) { noVideo_ = picture; }
    // Every pane shows the no-video picture and loses its time text; the
    // stream state becomes idle. Connect does this first.
    void ClearPictures();

    // Applies a division to the decode path's view of it (page starts, the
    // single view's channel) and tells the DVR. The full division logic
    // (panes shown, captions, paging) belongs to the main window.
    void ShowDivision(int division, int pageStart, int selectedChannel);

private:
    ViewerState state_;
    AviExport aviExport_; // outlives the renderer and its workers, which feed it
    PaneStore panes_;
    ChannelModel model_;
    CChannelRenderer renderer_;
    StreamRecorder recorder_; // outlives the session, whose command task writes to it
    DvrSession session_;
    QImage noVideo_;
};

} // namespace tarnvik
