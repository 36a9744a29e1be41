// The main window's design sizes, shared by its layout and its start size.
#pragma once

namespace tarnvik {

// Design client area the layouts are drawn for (video background + control panel).
inline constexpr int kDesignClientWidth = 1017;
inline constexpr int kDesignClientHeight = 755;
// Non-client sizes of the window: two 6-pixel sizing borders across, and a
// 26-pixel caption plus two 6-pixel borders down, reserved when the start
// size is fitted to the screen.
inline constexpr int kFrameExtraWidth = 12;
inline constexpr int kFrameExtraHeight = 38;

} // namespace tarnvik
