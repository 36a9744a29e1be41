// Program-wide values that the session, the receive path and the display
// read and write from different threads. Each is a single word: readers see
// either the old or the new value, as the viewer's design expects (the stop
// flag, the mode, the division), and none of them guards another.
#pragma once

#include "dvrformat/FrameHeader.h"

#include <atomic>
#include <cstdint>

namespace tarnvik {

// The main window's mode.
enum ViewMode : int { kModeLive = 1, kModeRemotePlayback = 2, kModeLocalPlayback = 32 };

// The renderer's stream state.
enum StreamState : uint32_t { kStreamIdle = 0, kStreamRequested = 17, kStreamStepping = 18, kStreamStopped = 20 };

struct ViewerState {
    // Stream variant of the connected DVR or opened source; -1 while unknown.
    std::atomic<int> codecKind{dvrformat::kCodecKindUnknown};
    std::atomic<uint32_t> typeWord{dvrformat::kTypeWordUnknown};
    std::atomic<uint32_t> modelCode{0};
    std::atomic<uint32_t> version{0};
    std::atomic<bool> pal{false}; // the 625-line flag of the last frame header

    std::atomic<bool> loggedIn{false};
    std::atomic<bool> stopFlag{true}; // set while no session runs
    std::atomic<int> mode{kModeLive};
    std::atomic<int> channelCount{4};
    std::atomic<uint16_t> lastErrorCode{0};
    std::atomic<uint32_t> streamState{kStreamIdle};

    // Display state the receive path reads (written on the user-interface thread).
    std::atomic<int> division{4};          // 1, 4, 6, 8, 9, 10, 13, 16 or 201
    std::atomic<int> selectedChannel{0};
    std::atomic<bool> minimised{false};
    std::atomic<int> exportedChannelMask{0}; // channels being exported to AVI
    std::atomic<bool> audioOn{false};

    // Rate counters: increased by the decode path, read and cleared by the rate tick.
    std::atomic<int> framesShown{0};
    std::atomic<int> bytesShown{0};

    size_t FrameHeaderLength() const { return dvrformat::FrameHeaderLength(codecKind.load()); }
};

} // namespace tarnvik
