#include "PictureLayout.h"

#include <cstring>

namespace tarnvik {

PictureGeometry ResolvePictureGeometry(int code, int streamClass, int codecKind, bool pal, int previousWidth,
                                       int previousHeight)
{
    PictureGeometry g;
    g.width = previousWidth;
    g.height = previousHeight;

    // Code 0 carries no size of its own: the class gives one.
    if (code == 0) {
        if (streamClass == 0) {
            g.width = 720;
            g.height = pal ? 288 : 240;
        } else if (streamClass == 2) {
            g.width = 720;
            g.height = pal ? 576 : 480;
        }
    }
    if (codecKind == 1 && streamClass == 1)
        code = 14;

    switch (code) {
    case 1: g.width = 1920; g.height = 1080; g.noLineDoubling = true; break;
    case 2: g.width = 1280; g.height = 1024; g.noLineDoubling = true; break;
    case 4: g.width = 720; g.height = pal ? 576 : 480; break;
    case 5: g.width = 720; g.height = pal ? 288 : 240; g.noLineDoubling = true; break;
    case 6: g.width = 352; g.height = pal ? 288 : 240; g.noLineDoubling = true; break;
    case 7: g.width = 176; g.height = 144; g.noLineDoubling = true; break;
    case 8: g.width = 640; g.height = 480; g.noLineDoubling = true; break;
    case 9: g.width = 320; g.height = 240; break;
    case 10: g.width = 160; g.height = 120; break;
    case 14: g.width = 720; g.height = pal ? 576 : 480; g.noLineDoubling = true; break;
    default: break; // 0, 3, 11..13, 15: size unchanged
    }

    if ((code == 5 || code == 6) && (codecKind == 2 || codecKind == 3)) {
        g.topMargin = 8;
        g.bottomMargin = 8;
    }
    // A kept size can be anything seen before; never let margins eat it all.
    if (g.CroppedHeight() <= 0)
        g.topMargin = g.bottomMargin = 0;
    return g;
}

namespace {

// Pane of the division's own mapping, before the CodecKind rule; -1 drops.
int DivisionPane(int c, const DivisionView& v)
{
    const int s = v.pageStart > 0 ? v.pageStart : 0;
    const int d = c - s;
    switch (v.division) {
    case 1:
        return v.selectedChannel == v.pageStart1 ? v.pageStart1 : -1;
    case 4:
    case 9:
        return d >= v.channelCount ? -1 : d;
    case 6: {
        const int pane = d == 0 ? 0 : d == 1 ? 2 : d >= 2 ? d + 3 : -1;
        return pane > 8 ? -1 : pane;
    }
    case 8:
        return d == 0 ? 0 : d == 1 ? 3 : d == 2 ? 7 : d >= 3 ? d + 8 : -1;
    case 10:
        return d == 0 ? 0 : d == 1 ? 2 : d >= 2 ? d + 6 : -1;
    case 13:
        if (c == 0)
            return 5;
        if (c >= 1 && c <= 5)
            return c - 1;
        if (c == 6 || c == 7)
            return c + 1;
        return c >= 8 ? c + 3 : -1;
    case 16:
        return c >= v.channelCount ? -1 : c;
    case 201:
        if (c != v.selectedChannel && v.codecKind != 0 && !v.aviRecording)
            return -1;
        return v.selectedChannel;
    default:
        return c;
    }
}

} // namespace

int PaneForChannel(int channel, const DivisionView& view)
{
    const int pane = DivisionPane(channel, view);
    if (pane < 0 || pane > 15)
        return -1;
    if (view.codecKind == 0 || view.codecKind == 1)
        return 0;
    return pane;
}

void CopyPictureRows(const uint8_t* src, uint8_t* dst, int width, int rows, int topMargin, bool lineDoubling)
{
    const size_t rowBytes = size_t(width) * 3;
    const uint8_t* base = src + size_t(topMargin) * rowBytes;
    if (!lineDoubling) {
        std::memcpy(dst, base, rowBytes * size_t(rows));
        return;
    }
    const int half = rows / 2;
    for (int y = 0; y + 1 < rows; y += 2) {
        std::memcpy(dst + size_t(y) * rowBytes, base + size_t(y / 2) * rowBytes, rowBytes);
        std::memcpy(dst + size_t(y + 1) * rowBytes, base + size_t(half + y / 2) * rowBytes, rowBytes);
    }
    // An odd line count leaves one last line: take it from the first field.
    if (rows % 2)
        std::memcpy(dst + size_t(rows - 1) * rowBytes, base + size_t(rows / 2) * rowBytes, rowBytes);
}

} // namespace tarnvik
