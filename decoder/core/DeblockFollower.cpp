#include "DeblockFollower.h"

#include "Deblock.h"

#include <algorithm>

namespace QLMedia {

DeblockFollower::DeblockFollower() : thread_([this] { Loop(); }) {}

DeblockFollower::~DeblockFollower()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        abandon_.store(true);
    }
    wake_.notify_all();
    thread_.join();
}

void DeblockFollower::Begin(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                            const SliceFilterParams* slices)
{
    std::unique_lock<std::mutex> lock(lock_);
    WaitUntilIdle(lock);
    picture_ = picture;
    mbs_ = mbs;
    slices_ = slices;
    widthMbs_ = widthMbs;
    heightMbs_ = heightMbs;
    ready_.store(0, std::memory_order_relaxed);
    wanted_.store(0, std::memory_order_relaxed);
    abandon_.store(false);
    active_ = true;
    wake_.notify_all();
}

void DeblockFollower::Advance(int decodedPrefix)
{
    // Both sides use sequentially consistent order on ready_ and wanted_:
    // either this store is seen by the follower's check before it sleeps,
    // or the follower's wish is seen here and it is woken.
    ready_.store(decodedPrefix);
    const int wanted = wanted_.load();
    if (wanted > 0 && decodedPrefix >= wanted) {
        std::lock_guard<std::mutex> guard(lock_);
        wanted_.store(0);
        wake_.notify_all();
    }
}

void DeblockFollower::Finish()
{
    std::unique_lock<std::mutex> lock(lock_);
    ready_.store(widthMbs_ * heightMbs_);
    wake_.notify_all();
    WaitUntilIdle(lock);
}

void DeblockFollower::Abandon()
{
    std::unique_lock<std::mutex> lock(lock_);
    abandon_.store(true);
    wake_.notify_all();
    WaitUntilIdle(lock);
}

void DeblockFollower::WaitUntilIdle(std::unique_lock<std::mutex>& lock)
{
    idle_.wait(lock, [this] { return !active_; });
}

void DeblockFollower::Loop()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(lock_);
            wake_.wait(lock, [this] { return active_ || stopping_; });
            if (stopping_)
                return;
        }
        FilterPicture();
        {
            std::lock_guard<std::mutex> guard(lock_);
            active_ = false;
        }
        idle_.notify_all();
    }
}

void DeblockFollower::FilterPicture()
{
    const int width = widthMbs_, total = widthMbs_ * heightMbs_;
    const bool fits = DeblockGeometryFits(picture_, mbs_, widthMbs_, heightMbs_, slices_);
    for (int mbY = 0; mbY < heightMbs_; ++mbY) {
        for (int mbX = 0; mbX < width; ++mbX) {
            // Everything up to (x + 1, y + 1) reconstructed; the last row
            // needs the whole picture.
            const int needed = std::min((mbY + 1) * width + std::min(mbX + 2, width), total);
            if (ready_.load(std::memory_order_acquire) < needed) {
                // Sleep until a row more than needed is done, so that the
                // decoding thread wakes this one about once per row.
                std::unique_lock<std::mutex> lock(lock_);
                wanted_.store(std::min(needed + width, total));
                wake_.wait(lock, [&] { return abandon_ || ready_.load() >= needed; });
                wanted_.store(0);
            }
            if (abandon_.load(std::memory_order_relaxed))
                return;
            if (fits)
                DeblockMacroblock(picture_, mbs_, width, mbX, mbY, slices_);
        }
    }
}

} // namespace QLMedia
