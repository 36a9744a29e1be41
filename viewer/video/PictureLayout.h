// The pure rules of the decode path: picture size and crop margins of a
// resolution code, the pane a channel lands in under each screen division,
// and the row copy that crops and interleaves a decoded picture. Plain
// functions without state so tests and the layouts call them directly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnvik {

// Largest picture of the resolution table (code 1).
constexpr int kMaxPictureWidth = 1920;
constexpr int kMaxPictureHeight = 1080;
// The decoder writes whole macroblock rows when a stream does not crop, so a
// 1080-line stream may deliver 1088 lines: the working buffers hold that.
constexpr int kMaxCodedHeight = 1088;
constexpr size_t kPictureBufferBytes = size_t(kMaxPictureWidth) * kMaxCodedHeight * 3;

// Size of the picture of one frame and the lines it loses.
struct PictureGeometry {
    int width = 0;
    int height = 0;               // as decoded, before cropping
    int topMargin = 0;            // lines cut at the top
    int bottomMargin = 0;         // lines cut at the bottom
    bool noLineDoubling = false;  // the code forces lineDoubling to 0
    int CroppedHeight() const { return height - topMargin - bottomMargin; }
};

// Applies the stream-class default (code 0), the CodecKind 1 rule (class 1
// is code 14), the resolution table and the crop margins (codes 5 and 6 of
// CodecKind 2 and 3 lose 8 lines at top and bottom). Codes that keep the
// size return previousWidth x previousHeight.
PictureGeometry ResolvePictureGeometry(int resolutionCode, int streamClass, int codecKind, bool pal,
                                       int previousWidth, int previousHeight);

// What the channel-to-pane mapping reads of the display state.
struct DivisionView {
    int division = 4;        // 1, 4, 6, 8, 9, 10, 13, 16, 201 (others: pane = channel)
    int pageStart = 0;       // page start of the current division
    int pageStart1 = -1;     // the channel of division 1
    int selectedChannel = 0;
    int channelCount = 4;
    int codecKind = 2;
    bool aviRecording = false; // any channel is being exported to AVI
};

// The pane (0..15) that shows `channel`, or -1 when the frame is dropped.
// CodecKind 0 and 1 send one combined picture: a frame the division accepts
// always lands in pane 0.
int PaneForChannel(int channel, const DivisionView& view);

// Copies a decoded B,G,R picture of width x (top + rows + bottom) lines into
// dst as `rows` packed rows, skipping `topMargin` lines. With lineDoubling
// the source holds two fields stacked (the second starts at rows / 2) and
// their lines are interleaved, first field first. Both buffers must hold
// width * (topMargin + rows) * 3 bytes; the caller checks that.
void CopyPictureRows(const uint8_t* src, uint8_t* dst, int width, int rows, int topMargin, bool lineDoubling);

} // namespace tarnvik
