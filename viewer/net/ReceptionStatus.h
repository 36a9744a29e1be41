// The small computations around received frames that the main window shows
// or that slow the reader down: the frame list, the rate tick and the display
// pacing. Plain functions and classes, so tests call them without a window.
#pragma once

#include "net/FrameSink.h"
#include "net/ViewerState.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvik {

// ---- Frame list -----------------------------------------------------------

// "ID:%02d [%c/%c/%c] Size:%d": channel, I/P, E/O field, f/C/F size class.
std::string FormatFrameLine(const FrameInfo& frame);

// The hidden diagnosis list: newest line first. When it holds more than
// kTrimAbove lines the bottom line is removed before a new one goes on top,
// so it never holds more than kTrimAbove + 1 lines.
// Thread-safe: the command task adds, the user-interface thread reads and
// clears (guarded by lock_).
class FrameList {
public:
    static constexpr size_t kTrimAbove = 200;

    void Add(std::string line);
    void Clear();
    std::vector<std::string> Lines() const;
    size_t Size() const;

private:
    mutable std::mutex lock_;
    std::deque<std::string> lines_; // guarded by lock_
};

// ---- Rate tick ------------------------------------------------------------

// 1234567 -> "1,234,567".
std::string WithThousands(uint64_t value);

struct RateTexts {
    std::string fps; // "%d fps"
    std::string bps; // "%sK bps", bytes * 8 / 1024 with thousands separators
};

RateTexts FormatRate(int frames, int bytes);
// The one-second tick of the user-interface thread: formats the counters
// and sets them to 0. The decode path adds to them without a lock, so a
// tick may lose a few counts; exchange keeps each count in one tick only.
RateTexts RateTick(ViewerState& state);

// ---- Display pacing -------------------------------------------------------

// Milliseconds; injectable so tests need no real clock or sleep.
struct PacingClock {
    std::function<int64_t()> nowMs;
    std::function<void(int64_t)> sleepMs;
    static PacingClock System();
};

// wait = |stream time - last stream time| - (now - last wall-clock time)
int64_t PacingWait(int64_t streamMs, int64_t lastStreamMs, int64_t nowMs, int64_t lastWallMs);
// One channel shown alone: 1 <= wait < 20 sleeps wait / 3.
int64_t PerChannelPacingSleep(int64_t wait);
// The grid: 1 <= wait < 200 sleeps wait.
int64_t SharedPacingSleep(int64_t wait);

// How far behind its own pace the grid's reader may count itself (below).
constexpr int64_t kMaxPacingLatenessMs = 1000;

// The pacing state of one reader. Command task only (or a player thread).
class DisplayPacing {
public:
    explicit DisplayPacing(PacingClock clock = PacingClock::System());

    // Each returns the milliseconds slept. The state is updated in every
    // mode, but only live mode waits.
    int64_t PacePerChannel(int channel, int64_t streamMs, bool liveMode);
    // The grid's pacing also keeps its lateness: a frame handled later than
    // the stream's pace says (a negative wait) adds to it, up to
    // kMaxPacingLatenessMs, and later waits pay it off before anything is
    // slept. Without it every delay of the reader (a busy processor, a
    // sleep that overran) would stay in the picture for good, since the
    // next waits are measured from the late frame, and the delays would add
    // up to seconds of lag under load; with it the reader catches up and
    // frames that come in a burst are still spread over their own time.
    int64_t PaceShared(int64_t streamMs, bool liveMode);
    void Reset();

private:
    PacingClock clock_;
    int64_t channelStream_[16] = {};
    int64_t channelWall_[16] = {};
    int64_t sharedStream_ = 0;
    int64_t sharedWall_ = 0;
    bool sharedStarted_ = false; // the first frame after a reset has nothing to be measured against
    int64_t sharedLateness_ = 0;
};

// A frame's stream time: its seconds * 1000 plus its milliseconds.
inline int64_t StreamTimeMs(uint32_t seconds, int milliseconds) { return int64_t(seconds) * 1000 + milliseconds; }

// Division 1 and 201 show one channel alone.
inline bool IsSingleView(int division) { return division == 1 || division == 201; }

} // namespace tarnvik
