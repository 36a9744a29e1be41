#include "WindowLayout.h"

#include "app/strings/MainWindowSizing.h"

#include <algorithm>
#include <cmath>

namespace tarnvik {

namespace {

// In the design the grid keeps 55 pixels to the left, 50 above, 9 to the
// panel and 42 to the bar.
constexpr int kPanelLeft = kDesignPanelLeft;
constexpr int kPanelWidth = kDesignClientWidth - kPanelLeft;
constexpr int kBarTop = kDesignBarTop;
constexpr int kBarHeight = kDesignClientHeight - kBarTop;
constexpr int kGridLeft = 55, kGridTop = 50, kGridRight = 9, kGridBottom = 42;

int Scaled(int length, double scale)
{
    return int(std::lround(length * scale));
}

} // namespace

QRect WindowLayout::Place(const QRect& design) const
{
    const int w = Scaled(design.width(), scale);
    const int h = Scaled(design.height(), scale);
    if (design.x() >= kPanelLeft)
        return {panel.x() + Scaled(design.x() - kPanelLeft, scale), Scaled(design.y(), scale), w, h};
    if (design.y() >= kBarTop)
        return {Scaled(design.x(), scale), bar.y() + Scaled(design.y() - kBarTop, scale), w, h};
    return {Scaled(design.x(), scale), Scaled(design.y(), scale), w, h};
}

WindowLayout LayOutMainWindow(QSize client, bool fullScreen)
{
    WindowLayout layout;
    const int width = std::max(client.width(), 1);
    const int height = std::max(client.height(), 1);
    if (fullScreen) {
        layout.video = layout.grid = QRect(0, 0, width, height);
        return layout;
    }
    layout.scale = std::min({1.0, double(width) / kDesignClientWidth, double(height) / kDesignClientHeight});
    const double k = layout.scale;
    const int panelWidth = Scaled(kPanelWidth, k);
    const int barHeight = Scaled(kBarHeight, k);
    layout.panel = QRect(width - panelWidth, 0, panelWidth, height);
    layout.bar = QRect(0, height - barHeight, width - panelWidth, barHeight);
    layout.video = QRect(0, 0, width - panelWidth, height - barHeight);
    layout.grid = QRect(Scaled(kGridLeft, k), Scaled(kGridTop, k),
                        std::max(layout.video.width() - Scaled(kGridLeft + kGridRight, k), 1),
                        std::max(layout.video.height() - Scaled(kGridTop + kGridBottom, k), 1));
    return layout;
}

QSize StartClientSize(const QRect& available, QSize frame)
{
    const int width = std::min(kDesignClientWidth, available.width() - frame.width());
    const int height = std::min(kDesignClientHeight, available.height() - frame.height());
    return {std::max(width, kMinimumClientWidth), std::max(height, kMinimumClientHeight)};
}

} // namespace tarnvik
