// Where the main window's parts sit for a client size. The window is drawn
// for a 1017 x 755 client area: the video area with the pane grid on the
// left, the bar under it and the control panel, 197 pixels wide, on the
// right. A larger window gives all the extra room to the video; a smaller
// one scales the panel and the bar down uniformly with their controls, so
// that the whole window still fits a 1280 x 720 screen.
#pragma once

#include <QRect>
#include <QSize>

namespace tarnvik {

// Where the panel and the bar start in the design client area.
inline constexpr int kDesignPanelLeft = 820;
inline constexpr int kDesignBarTop = 693;

// The smallest client area: the design scaled by 0.78, where the panel's
// texts are still readable and its buttons still easy to hit.
inline constexpr int kMinimumClientWidth = 794;
inline constexpr int kMinimumClientHeight = 589;

struct WindowLayout {
    double scale = 1.0; // of the panel and the bar against the design, at most 1
    QRect video;        // the video area (background picture 136)
    QRect bar;          // under the video area (picture 138); empty in full screen
    QRect panel;        // the control panel (picture 137); empty in full screen
    QRect grid;         // where the panes are laid out

    // A control's rectangle in the design client area, placed for this
    // layout: controls of the panel follow the panel's right edge, those of
    // the bar its bottom edge, both scaled by `scale`.
    QRect Place(const QRect& design) const;
};

// In full screen the grid takes the whole client area, so no pane is ever
// cut by the window's edge.
WindowLayout LayOutMainWindow(QSize client, bool fullScreen);

// The client size at start: the design size, made smaller where the
// screen's free area less the window frame is smaller, never below the
// minimum.
QSize StartClientSize(const QRect& available, QSize frame);

} // namespace tarnvik
