// The main window's skinned pan/tilt/zoom buttons: a press sends the move at
// once and again on every tick while the button is held; a release stops the
// ticks one period later and sends no stop. The ticks run on a thread of
// their own, which the next Press and the destructor end and join.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tarnvik {

class PtzRepeater {
public:
    static constexpr std::chrono::milliseconds kDefaultPeriod{200};

    // `send` is called with the move on the pressing thread and on the
    // repeater's thread; it must be safe to call from both (DvrSession's
    // requests are).
    explicit PtzRepeater(std::function<void(uint8_t)> send, std::chrono::milliseconds period = kDefaultPeriod);
    ~PtzRepeater();
    PtzRepeater(const PtzRepeater&) = delete;
    PtzRepeater& operator=(const PtzRepeater&) = delete;

    void Press(uint8_t ptzOp);
    // Returns at once; the ticks stop one period later. A new Press or the
    // destructor ends a ticker that is still finishing.
    void Release();
    bool Held() const;

private:
    void Run(uint8_t ptzOp);
    void Stop();

    std::function<void(uint8_t)> send_;
    const std::chrono::milliseconds period_;
    std::thread ticker_; // pressing thread only
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool held_ = false;     // guarded by lock_
    bool released_ = false; // guarded by lock_
    std::chrono::steady_clock::time_point stopAt_; // guarded by lock_
};

} // namespace tarnvik
