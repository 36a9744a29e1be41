#include "PtzRepeater.h"

namespace tarnvik {

using Clock = std::chrono::steady_clock;

PtzRepeater::PtzRepeater(std::function<void(uint8_t)> send, std::chrono::milliseconds period)
    : send_(std::move(send))
    , period_(period)
{
}

PtzRepeater::~PtzRepeater() { Stop(); }

void PtzRepeater::Press(uint8_t ptzOp)
{
    Stop();
    {
        std::lock_guard<std::mutex> guard(lock_);
        held_ = true;
        released_ = false;
    }
    send_(ptzOp);
    ticker_ = std::thread([this, ptzOp] { Run(ptzOp); });
}

void PtzRepeater::Release()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!held_)
            return;
        released_ = true;
        stopAt_ = Clock::now() + period_;
    }
    // The ticker ends by itself one period later; the user-interface thread
    // that releases does not wait for it.
    wake_.notify_all();
}

bool PtzRepeater::Held() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return held_;
}

void PtzRepeater::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (held_) {
            released_ = true;
            stopAt_ = Clock::now(); // ends at once, also a released ticker still finishing
        }
    }
    wake_.notify_all();
    if (ticker_.joinable())
        ticker_.join();
}

void PtzRepeater::Run(uint8_t ptzOp)
{
    auto next = Clock::now() + period_;
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Wake at the next tick, or earlier when a release sets the end.
        wake_.wait_until(lock, next, [&] { return released_ && stopAt_ <= next; });
        if (released_ && stopAt_ <= next)
            break;
        lock.unlock();
        send_(ptzOp);
        lock.lock();
        next += period_;
    }
    held_ = false;
}

} // namespace tarnvik
