#include "MacroblockPipeline.h"

#include "Deblock.h"

#include <algorithm>

namespace QLMedia {

void PictureDeblocker::Begin(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                             const SliceFilterParams* slices, bool shared)
{
    std::lock_guard<std::mutex> guard(filterLock_);
    shared_ = shared;
    picture_ = picture;
    mbs_ = mbs;
    slices_ = slices;
    widthMbs_ = widthMbs;
    total_ = widthMbs * heightMbs;
    fits_ = DeblockGeometryFits(picture, mbs, widthMbs, heightMbs, slices);
    reconstructed_.assign(size_t(total_), 0);
    prefix_ = 0;
    publishedPrefix_.store(0, std::memory_order_relaxed);
    filtered_ = 0;
    filterX_ = 0;
    filterY_ = 0;
}

bool PictureDeblocker::AdvancePrefix(int addr)
{
    if (addr < 0 || addr >= total_)
        return false;
    reconstructed_[size_t(addr)] = 1;
    // Slices may come out of order: the prefix grows over every macroblock
    // an earlier slice reconstructed.
    if (addr != prefix_)
        return false;
    while (prefix_ < total_ && reconstructed_[size_t(prefix_)])
        ++prefix_;
    return true;
}

void PictureDeblocker::Reconstructed(int addr)
{
    if (AdvancePrefix(addr))
        FilterUpTo(prefix_, total_);
}

void PictureDeblocker::MarkReconstructed(int addr)
{
    if (AdvancePrefix(addr) && (prefix_ - publishedPrefix_.load(std::memory_order_relaxed) >= 16 || prefix_ == total_))
        publishedPrefix_.store(prefix_, std::memory_order_release);
}

bool PictureDeblocker::FilterAvailable()
{
    std::unique_lock<std::mutex> lock(filterLock_, std::try_to_lock);
    // A picture reconstructed on the decoding thread is filtered there
    // alone, without the lock.
    return lock.owns_lock() && shared_ && FilterUpTo(publishedPrefix_.load(std::memory_order_acquire), widthMbs_);
}

void PictureDeblocker::FinishRest()
{
    std::lock_guard<std::mutex> guard(filterLock_);
    FilterUpTo(total_, total_);
}

void PictureDeblocker::Abandon()
{
    std::lock_guard<std::mutex> guard(filterLock_);
    filtered_ = total_;
}

bool PictureDeblocker::FilterUpTo(int prefix, int limit)
{
    const int before = filtered_;
    while (filtered_ < total_ && filtered_ - before < limit) {
        // Everything up to (x + 1, y + 1) reconstructed, that is the next
        // row's macroblocks up to one right of this one (none right of the
        // row's last); the last row needs the whole picture.
        const int needed = std::min(filtered_ + widthMbs_ + (filterX_ + 1 < widthMbs_ ? 2 : 1), total_);
        if (prefix < needed)
            break;
        if (fits_)
            DeblockMacroblock(picture_, mbs_, widthMbs_, filterX_, filterY_, slices_);
        ++filtered_;
        if (++filterX_ == widthMbs_) {
            filterX_ = 0;
            ++filterY_;
        }
    }
    return filtered_ != before;
}

ReconstructionThread::ReconstructionThread(Consumer consumer, Helper helper)
    : consumer_(std::move(consumer)), helper_(std::move(helper)), thread_([this] { Loop(); })
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
    if (localCommitted_ - consumed_.load(std::memory_order_acquire) >= kSlots) {
        PublishCommitted();
        while (helper_() && localCommitted_ - consumed_.load(std::memory_order_acquire) >= kSlots) {
        }
        WaitForConsumed(localCommitted_ - kSlots + kRoomBatch); // room for a batch
    }
    // Made at the first picture handed over, so that a stream of small
    // pictures never pays for it. The other thread first reads it after
    // the commit count that follows.
    if (!ring_)
        ring_ = std::make_unique<MacroblockWork[]>(kSlots);
    return ring_[localCommitted_ % kSlots];
}

void ReconstructionThread::Commit()
{
    if (++localCommitted_ % kPublish != 0)
        return;
    PublishCommitted();
    // Many records wait: the reconstruction is behind, so this thread
    // takes a share of the helper's work.
    if (localCommitted_ % kHelpEvery == 0 &&
        localCommitted_ - consumed_.load(std::memory_order_relaxed) > kBalance)
        helper_();
}

void ReconstructionThread::PublishCommitted()
{
    committed_.store(localCommitted_);
    const uint64_t wanted = consumerWants_.load();
    if (wanted > 0 && localCommitted_ >= wanted) {
        // Checked again under the lock: the wish seen above may be one the
        // consumer already woke from, and a newer one must not be cleared
        // unfulfilled.
        std::lock_guard<std::mutex> guard(lock_);
        const uint64_t current = consumerWants_.load();
        if (current > 0 && localCommitted_ >= current) {
            consumerWants_.store(0);
            consumerWake_.notify_one();
        }
    }
}

void ReconstructionThread::Push()
{
    PublishCommitted();
    {
        std::lock_guard<std::mutex> guard(lock_);
        pushed_ = localCommitted_;
    }
    consumerWake_.notify_one();
}

void ReconstructionThread::WaitFor(uint64_t count)
{
    if (consumed_.load() >= count)
        return;
    Push();
    // The helper's work goes on while the reconstruction catches up.
    while (consumed_.load() < count) {
        if (!helper_())
            WaitForConsumed(std::min(count, consumed_.load() + kRoomBatch / 2));
    }
}

void ReconstructionThread::Share(int parts, const std::function<void(int)>& part)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        job_ = &part;
        jobParts_ = parts;
        jobNext_.store(0);
        jobDone_.store(0);
        jobSharers_ = 1;
    }
    consumerWake_.notify_one();
    RunParts();
    std::unique_lock<std::mutex> lock(lock_);
    --jobSharers_;
    producerWake_.wait(lock, [&] { return jobSharers_ == 0 && jobDone_.load() == jobParts_; });
    job_ = nullptr;
}

void ReconstructionThread::RunParts()
{
    for (int i = jobNext_.fetch_add(1); i < jobParts_; i = jobNext_.fetch_add(1)) {
        (*job_)(i);
        jobDone_.fetch_add(1);
    }
}

bool ReconstructionThread::TakeSharedParts()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!job_ || jobNext_.load() >= jobParts_)
            return false;
        ++jobSharers_;
    }
    RunParts();
    {
        std::lock_guard<std::mutex> guard(lock_);
        --jobSharers_;
    }
    producerWake_.notify_one();
    return true;
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

void ReconstructionThread::PublishConsumed(uint64_t consumed)
{
    consumed_.store(consumed);
    const uint64_t wanted = producerWants_.load();
    if (wanted > 0 && consumed >= wanted) {
        std::lock_guard<std::mutex> guard(lock_); // and again, as above
        const uint64_t current = producerWants_.load();
        if (current > 0 && consumed >= current) {
            producerWants_.store(0);
            producerWake_.notify_one();
        }
    }
}

void ReconstructionThread::Loop()
{
    uint64_t consumed = 0;
    for (;;) {
        const uint64_t committed = committed_.load(std::memory_order_acquire);
        while (consumed < committed) {
            // The record was written on the other core: asking for the one
            // after next now hides the wait for its cache lines.
            if (consumed + 2 < committed) {
                const char* next = reinterpret_cast<const char*>(&ring_[(consumed + 2) % kSlots]);
                for (size_t line = 0; line < sizeof(MacroblockWork); line += 64)
                    __builtin_prefetch(next + line, 0, 3);
            }
            consumer_(ring_[consumed % kSlots]);
            if (++consumed % kPublish == 0)
                PublishConsumed(consumed);
            // Few records wait: the parsing is behind, so this thread
            // takes a share of the helper's work.
            if (consumed % kHelpEvery == 0 && committed_.load(std::memory_order_relaxed) - consumed < kBalance)
                helper_();
        }
        PublishConsumed(consumed);
        // Nothing to reconstruct: a share of a job, or filter what can be,
        // then look again.
        if (TakeSharedParts() || helper_())
            continue;
        std::unique_lock<std::mutex> lock(lock_);
        consumerWants_.store(consumed + kWorkBatch);
        consumerWake_.wait(lock, [&] {
            const uint64_t now = committed_.load();
            return stopping_ || now >= consumed + kWorkBatch || (pushed_ > consumed && now > consumed) ||
                   (job_ && jobNext_.load() < jobParts_);
        });
        consumerWants_.store(0);
        if (stopping_)
            return;
    }
}

} // namespace QLMedia
