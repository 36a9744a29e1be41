// Main window sizing at start-up, as plain arithmetic so it can be tested without widgets.
//
// Two moves happen during initialisation: first a size derived from the profile's
// Adjust_X/Adjust_Y, then (after the decoders are set up) a fixed size. Both are returned
// so the caller can reproduce the sequence; the second one is what the user ends up with.
#pragma once

namespace tarnvik {

struct WindowSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

// Smallest video size the profile move honours; smaller Adjust values are replaced by it.
inline constexpr int kMinAdjustX = 640;
inline constexpr int kMinAdjustY = 480;

// Padding the profile move adds on top of the Adjust/client difference.
inline constexpr int kProfileExtraWidth = 200;
inline constexpr int kProfileExtraHeight = 150;
// Taken off the client height before comparing with Adjust_Y (the strip under the panes
// that is not video).
inline constexpr int kClientHeightTrim = 14;

// Design client area the layouts are drawn for (video background + control panel).
inline constexpr int kDesignClientWidth = 1017;
inline constexpr int kDesignClientHeight = 755;
// Non-client sizes of the fixed window: two 6-pixel sizing borders across, and a
// 26-pixel caption plus two 6-pixel borders down; with the design client they give the
// fixed 1029 × 793 window.
inline constexpr int kFrameExtraWidth = 12;
inline constexpr int kFrameExtraHeight = 38;

struct MainWindowSizingInput {
    int adjustX = 720; // profile defaults
    int adjustY = 480;
    // Client size of the dialog at the time of the first move.
    int clientWidth = kDesignClientWidth;
    int clientHeight = kDesignClientHeight;
    int profileExtraWidth = kProfileExtraWidth;
    int profileExtraHeight = kProfileExtraHeight;
    int clientHeightTrim = kClientHeightTrim;
    // Client and frame of the final, fixed move.
    int finalClientWidth = kDesignClientWidth;
    int finalClientHeight = kDesignClientHeight;
    int frameExtraWidth = kFrameExtraWidth;
    int frameExtraHeight = kFrameExtraHeight;
};

struct MainWindowSizing {
    int extraW = 0;          // Adjust_X − client width + 200
    int extraH = 0;          // Adjust_Y − (client height − 14) + 150
    bool clamped = false;    // Adjust below 640 × 480, so 640 × 480 was used
    WindowSize profileSize;  // first move
    WindowSize finalSize;    // second move: what the window keeps (1029 × 793 by default)
};

// Both moves go to (0, 0); only sizes are computed here.
MainWindowSizing ComputeMainWindowSizing(const MainWindowSizingInput& input);

// The fixed size of the second move with the default constants.
WindowSize FinalMainWindowSize();

} // namespace tarnvik
