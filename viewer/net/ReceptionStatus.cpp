#include "ReceptionStatus.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace tarnvik {

std::string FormatFrameLine(const FrameInfo& frame)
{
    static const char kSizeClass[] = {'f', 'C', 'F'};
    const char size = frame.sizeClass >= 0 && frame.sizeClass <= 2 ? kSizeClass[frame.sizeClass] : '*';
    char line[64];
    std::snprintf(line, sizeof line, "ID:%02d [%c/%c/%c] Size:%d", frame.channel, frame.pictureType == 0 ? 'P' : 'I',
                  frame.evenField ? 'E' : 'O', size, int(frame.videoLength));
    return line;
}

void FrameList::Add(std::string line)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (lines_.size() > kTrimAbove)
        lines_.pop_back();
    lines_.push_front(std::move(line));
}

void FrameList::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
}

std::vector<std::string> FrameList::Lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return {lines_.begin(), lines_.end()};
}

size_t FrameList::Size() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_.size();
}

std::string WithThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

RateTexts FormatRate(int frames, int bytes)
{
    // 64 bits: a busy second of bytes times 8 overflows 32.
    const uint64_t kilobits = uint64_t(bytes < 0 ? 0 : bytes) * 8 / 1024;
    return {std::to_string(frames) + " fps", WithThousands(kilobits) + "K bps"};
}

RateTexts RateTick(ViewerState& state)
{
    const int frames = state.framesShown.exchange(0);
    const int bytes = state.bytesShown.exchange(0);
    return FormatRate(frames, bytes);
}

PacingClock PacingClock::System()
{
    return {[] {
                return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
            },
            [](int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }};
}

int64_t PacingWait(int64_t streamMs, int64_t lastStreamMs, int64_t nowMs, int64_t lastWallMs)
{
    const int64_t streamStep = streamMs >= lastStreamMs ? streamMs - lastStreamMs : lastStreamMs - streamMs;
    return streamStep - (nowMs - lastWallMs);
}

int64_t PerChannelPacingSleep(int64_t wait) { return wait >= 1 && wait < 20 ? wait / 3 : 0; }

int64_t SharedPacingSleep(int64_t wait) { return wait >= 1 && wait < 200 ? wait : 0; }

DisplayPacing::DisplayPacing(PacingClock clock)
    : clock_(std::move(clock))
{
}

int64_t DisplayPacing::PacePerChannel(int channel, int64_t streamMs, bool liveMode)
{
    const size_t c = size_t(channel) & 15;
    const int64_t now = clock_.nowMs();
    const int64_t wait = PacingWait(streamMs, channelStream_[c], now, channelWall_[c]);
    channelStream_[c] = streamMs;
    channelWall_[c] = now;
    const int64_t sleep = liveMode ? PerChannelPacingSleep(wait) : 0;
    if (sleep > 0)
        clock_.sleepMs(sleep);
    return sleep;
}

int64_t DisplayPacing::PaceShared(int64_t streamMs, bool liveMode)
{
    const int64_t now = clock_.nowMs();
    int64_t wait = sharedStarted_ ? PacingWait(streamMs, sharedStream_, now, sharedWall_) : 0;
    sharedStream_ = streamMs;
    sharedWall_ = now;
    sharedStarted_ = true;
    if (!liveMode) {
        sharedLateness_ = 0; // nothing waits, so nothing is owed
    } else if (wait < 0) {
        sharedLateness_ = std::min(sharedLateness_ - wait, kMaxPacingLatenessMs);
    } else if (SharedPacingSleep(wait) > 0) {
        // Only a wait that would be slept pays: a larger step is a jump in
        // the stream's time, which is never slept.
        const int64_t paid = std::min(sharedLateness_, wait);
        sharedLateness_ -= paid;
        wait -= paid;
    }
    const int64_t sleep = liveMode ? SharedPacingSleep(wait) : 0;
    if (sleep > 0)
        clock_.sleepMs(sleep);
    return sleep;
}

void DisplayPacing::Reset()
{
    for (size_t c = 0; c < 16; ++c)
        channelStream_[c] = channelWall_[c] = 0;
    sharedStream_ = sharedWall_ = 0;
    sharedStarted_ = false;
    sharedLateness_ = 0;
}

} // namespace tarnvik
