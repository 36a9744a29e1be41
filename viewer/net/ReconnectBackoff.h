// The waits between attempts to restore a lost session: 1 s, then twice
// the last one, at most 30 s. A DVR that restarts is back within seconds,
// and one that is gone for long is not asked more than twice a minute.
#pragma once

#include <algorithm>
#include <chrono>

namespace tarnvik {

class ReconnectBackoff {
public:
    static constexpr std::chrono::milliseconds kFirstDelay{1000};
    static constexpr std::chrono::milliseconds kMaxDelay{30000};

    // The wait before the next attempt; each call doubles the one after.
    std::chrono::milliseconds Next()
    {
        const std::chrono::milliseconds delay = next_;
        next_ = std::min(next_ * 2, kMaxDelay);
        return delay;
    }
    // A session was restored (or the user connected): start again at 1 s.
    void Reset() { next_ = kFirstDelay; }

private:
    std::chrono::milliseconds next_ = kFirstDelay;
};

} // namespace tarnvik
