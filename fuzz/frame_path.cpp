// Untrusted input: the frame blocks of live data and playback messages, into
// the real decode path: the renderer parses each frame header
// (ParseFrameHeader) and decodes its picture, H.264 through the channel's
// decoder or JPEG, into the pane of its channel (DecodeAndShow, or the live
// hand-over). What the receive path checks before decoding is checked here
// the same way: the decodability gate and the video length against the block.
//
// Input: the first byte chooses the state (bits 0-1 the CodecKind learnt at
// login, or none; bits 2-3 the division; bit 4 the live hand-over or the
// playback path; bit 5 the stored streams' skipped gap test; bit 6 the
// second channel's slot; bit 7 a minimised window); the rest is frame
// blocks separated by the four bytes "QLFB".
//
// The renderer and its decoders live for the whole run; each input starts
// them afresh, as a new session does.
#include "FuzzSupport.h"

#include "net/ViewerState.h"
#include "video/ChannelModel.h"
#include "video/ChannelRenderer.h"
#include "video/PaneStore.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace tarnvik;

namespace {

constexpr uint8_t kSeparator[4] = {'Q', 'L', 'F', 'B'};

struct DecodePath {
    DecodePath() : model(notifier), renderer(state, model, panes, ui, 0) { model.InitDecoders(); }
    fuzz::SilentNotifier notifier;
    fuzz::SilentBridge ui;
    ViewerState state;
    ChannelModel model;
    PaneStore panes;
    CChannelRenderer renderer;
};

void Handle(DecodePath& d, const uint8_t* block, size_t size, uint8_t setup)
{
    CChannelRenderer& r = d.renderer;
    const bool live = (setup & 0x10) == 0;
    int frameKind = 0;
    if (!r.ParseFrameHeader(block, size, frameKind, (setup & 0x20) != 0))
        return;
    const FrameInfo& frame = r.Frame();
    const int channel = frame.channel & 15;
    if (live && !r.IsDecodable(channel) && frame.pictureType == 0 && frame.codec == 1)
        return;
    r.SetDecodable(channel);
    if (d.state.minimised.load() || frame.videoLength == 0)
        return;
    const size_t headerLength = d.state.FrameHeaderLength();
    if (headerLength > size || frame.videoLength > size - headerLength)
        return;
    const uint8_t* data = block + headerLength;
    if (live)
        r.HandOverPicture(data, frame.videoLength, true, [](bool) {});
    else
        r.DecodeAndShow(data, frame.videoLength, (setup & 0x40) ? 1 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DecodePath d;
    if (size < 1)
        return 0;
    const uint8_t setup = data[0];
    static const int kKinds[] = {dvrformat::kCodecKindUnknown, 1, 2, 3};
    static const uint32_t kTypes[] = {dvrformat::kTypeWordUnknown, dvrformat::kTypeWord22F0,
                                      dvrformat::kTypeWord22F0, dvrformat::kTypeWord2200};
    static const int kDivisions[] = {4, 1, 16, 201};
    d.state.codecKind = kKinds[setup & 3];
    d.state.typeWord = kTypes[setup & 3];
    d.state.division = kDivisions[(setup >> 2) & 3];
    d.state.selectedChannel = 0;
    d.state.channelCount = 16;
    d.state.minimised = (setup & 0x80) != 0;
    d.state.pal = false;
    d.model.RecreateDecoders();
    d.renderer.ResetChannels();
    for (int channel = 0; channel < kChannelCount; ++channel)
        d.renderer.ClearDecodable(channel);
    d.renderer.SetPageStarts(0, d.state.division == 1 ? 0 : -1);

    const uint8_t* p = data + 1;
    const uint8_t* const end = data + size;
    while (p < end) {
        const uint8_t* blockEnd = p;
        while (end - blockEnd >= 4 && std::memcmp(blockEnd, kSeparator, 4) != 0)
            ++blockEnd;
        if (end - blockEnd < 4)
            blockEnd = end;
        Handle(d, p, size_t(blockEnd - p), setup);
        p = blockEnd + (blockEnd < end ? 4 : 0);
    }
    return 0;
}
