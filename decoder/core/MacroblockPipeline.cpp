#include "MacroblockPipeline.h"

#include "Deblock.h"

#include <algorithm>

namespace QLMedia {

void PictureDeblocker::Begin(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                             const SliceFilterParams* slices)
{
    picture_ = picture;
    mbs_ = mbs;
    slices_ = slices;
    widthMbs_ = widthMbs;
    total_ = widthMbs * heightMbs;
    fits_ = DeblockGeometryFits(picture, mbs, widthMbs, heightMbs, slices);
    reconstructed_.assign(size_t(total_), 0);
    prefix_ = 0;
    filtered_ = 0;
}

void PictureDeblocker::Reconstructed(int addr)
{
    if (addr < 0 || addr >= total_)
        return;
    reconstructed_[size_t(addr)] = 1;
    // Slices may come out of order: the prefix grows over every macroblock
    // an earlier slice reconstructed.
    if (addr != prefix_)
        return;
    while (prefix_ < total_ && reconstructed_[size_t(prefix_)])
        ++prefix_;
    FilterUpTo(prefix_);
}

void PictureDeblocker::FinishRest()
{
    FilterUpTo(total_);
}

void PictureDeblocker::FilterUpTo(int prefix)
{
    while (filtered_ < total_) {
        const int mbX = filtered_ % widthMbs_, mbY = filtered_ / widthMbs_;
        // Everything up to (x + 1, y + 1) reconstructed; the last row needs
        // the whole picture.
        const int needed = std::min((mbY + 1) * widthMbs_ + std::min(mbX + 2, widthMbs_), total_);
        if (prefix < needed)
            return;
        if (fits_)
            DeblockMacroblock(picture_, mbs_, widthMbs_, mbX, mbY, slices_);
        ++filtered_;
    }
}

ReconstructionThread::ReconstructionThread(Consumer consumer)
    : consumer_(std::move(consumer)), ring_(std::make_unique<MacroblockWork[]>(kSlots)), thread_([this] { Loop(); })
{
}

ReconstructionThread::~ReconstructionThread()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    consumerWake_.notify_all();
    thread_.join();
}

MacroblockWork& ReconstructionThread::Slot()
{
    const uint64_t committed = committed_.load(std::memory_order_relaxed);
    if (committed - consumed_.load(std::memory_order_acquire) >= kSlots)
        WaitForConsumed(committed - kSlots + kBatch); // room for a batch
    return ring_[committed % kSlots];
}

void ReconstructionThread::Commit()
{
    const uint64_t committed = committed_.load(std::memory_order_relaxed) + 1;
    committed_.store(committed);
    const uint64_t wanted = consumerWants_.load();
    if (wanted > 0 && committed >= wanted) {
        std::lock_guard<std::mutex> guard(lock_);
        consumerWants_.store(0);
        consumerWake_.notify_one();
    }
}

void ReconstructionThread::Drain()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        flush_ = true;
    }
    consumerWake_.notify_one();
    WaitForConsumed(committed_.load(std::memory_order_relaxed));
    std::lock_guard<std::mutex> guard(lock_);
    flush_ = false;
}

void ReconstructionThread::Discard()
{
    discard_.store(true);
    Drain();
    discard_.store(false);
}

void ReconstructionThread::WaitForConsumed(uint64_t count)
{
    if (consumed_.load() >= count)
        return;
    std::unique_lock<std::mutex> lock(lock_);
    producerWants_.store(count);
    producerWake_.wait(lock, [&] { return consumed_.load() >= count; });
    producerWants_.store(0);
}

void ReconstructionThread::Loop()
{
    for (;;) {
        const uint64_t consumed = consumed_.load(std::memory_order_relaxed);
        if (consumed < committed_.load(std::memory_order_acquire)) {
            if (!discard_.load(std::memory_order_relaxed))
                consumer_(ring_[consumed % kSlots]);
            consumed_.store(consumed + 1);
            const uint64_t wanted = producerWants_.load();
            if (wanted > 0 && consumed + 1 >= wanted) {
                std::lock_guard<std::mutex> guard(lock_);
                producerWants_.store(0);
                producerWake_.notify_one();
            }
            continue;
        }
        std::unique_lock<std::mutex> lock(lock_);
        consumerWants_.store(consumed + kBatch);
        consumerWake_.wait(lock, [&] {
            const uint64_t committed = committed_.load();
            return stopping_ || committed >= consumed + kBatch || (flush_ && committed > consumed);
        });
        consumerWants_.store(0);
        if (stopping_)
            return;
    }
}

} // namespace QLMedia
