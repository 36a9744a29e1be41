// What happens to a macroblock after it is parsed: reconstruction, then
// deblocking as soon as nothing reconstructed later still needs its
// unfiltered samples. With more than one thread, reconstruction and
// deblocking run on a thread of their own, fed with parsed macroblocks
// through a ring of records, while the decoding thread goes on parsing,
// into the next picture once one is parsed.
#pragma once

#include "Picture.h"
#include "SliceDecoder.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace QLMedia {

// Deblocks a picture while it is being reconstructed. Intra prediction of
// the next macroblock row reads samples that deblocking changes, so
// macroblock (x, y) is filtered once every macroblock up to (x + 1, y + 1)
// is reconstructed, the last row at the end of the picture; the result is
// identical to DeblockPicture. Filtering a macroblock soon after it was
// made also finds its samples still in the cache.
//
// On one thread Reconstructed both records and filters. With the
// reconstruction thread, that thread records (MarkReconstructed), and
// whichever thread is ahead filters a row of what has become possible
// (FilterAvailable; see ReconstructionThread). Filtering never touches a
// sample that a macroblock still to be reconstructed reads, so it runs
// beside reconstruction; only one thread filters at a time.
class PictureDeblocker {
public:
    // The tables must stay where they are until FinishRest; slice
    // parameters may be appended meanwhile if the storage does not move.
    // `shared`: the picture is reconstructed on the reconstruction thread
    // (MarkReconstructed, FilterAvailable); otherwise on the calling thread
    // alone (Reconstructed), and FilterAvailable finds nothing to do.
    void Begin(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
               const SliceFilterParams* slices, bool shared);
    // Macroblock addr is reconstructed: filters every macroblock that now can be.
    void Reconstructed(int addr);
    // Reconstruction thread: macroblock addr is reconstructed.
    void MarkReconstructed(int addr);
    // Filters up to a row of what the reconstruction published so far;
    // false when nothing could be filtered or another thread is filtering.
    bool FilterAvailable();
    // Every macroblock is final (lost ones included): filters the rest.
    void FinishRest();
    // The picture is dropped: nothing more is filtered.
    void Abandon();

private:
    bool AdvancePrefix(int addr);
    bool FilterUpTo(int prefix, int limit);

    std::mutex filterLock_; // guards the filtering position and Begin's fields
    bool shared_ = false;

    PicturePlanes picture_{};
    const MbInfo* mbs_ = nullptr;
    const SliceFilterParams* slices_ = nullptr;
    int widthMbs_ = 0;
    int total_ = 0;
    bool fits_ = false;
    std::vector<uint8_t> reconstructed_; // per macroblock
    int prefix_ = 0;                     // macroblocks 0 .. prefix_ - 1 are reconstructed
    // prefix_ as the decoding thread may use it: published after the
    // samples are written, a few macroblocks at a time so that its cache
    // line does not travel for every macroblock.
    alignas(64) std::atomic<int> publishedPrefix_{0};
    alignas(64) int filtered_ = 0;       // macroblocks 0 .. filtered_ - 1 are deblocked
    int filterX_ = 0, filterY_ = 0;      // where macroblock filtered_ is
};

// A thread that consumes parsed macroblocks in the order they were
// committed. The decoding thread fills Slot(), then Commit()s it. Either
// side does a share of the helper's work while it is ahead of the other,
// and all of it when it has nothing else to do (the ring full, or empty);
// it sleeps when there is none, and is woken after a batch, so that the
// two threads do not wake each other for every macroblock.
class ReconstructionThread {
public:
    using Consumer = std::function<void(const MacroblockWork&)>;
    // Work either thread does instead of sleeping; false when there was
    // none. It must be safe to call from both at once.
    using Helper = std::function<bool()>;

    // Starts the thread; throws std::system_error when it cannot.
    ReconstructionThread(Consumer consumer, Helper helper);
    ~ReconstructionThread();
    ReconstructionThread(const ReconstructionThread&) = delete;
    ReconstructionThread& operator=(const ReconstructionThread&) = delete;

    MacroblockWork& Slot();
    void Commit();
    // Records committed so far.
    uint64_t Committed() const { return localCommitted_; }
    // Makes the thread consume every record committed so far without
    // waiting for a batch to fill: the decoding thread may be away long.
    void Push();
    // Returns when the first `count` records committed have been consumed,
    // doing the helper's work meanwhile.
    void WaitFor(uint64_t count);
    // Returns when every committed record has been consumed.
    void Drain() { WaitFor(localCommitted_); }
    // Runs part(0) .. part(parts - 1), on the calling thread and on this
    // one when it has no records to consume; returns when all are done.
    void Share(int parts, const std::function<void(int)>& part);

private:
    // A full ring makes the decoding thread wait for room for a large
    // batch, so that it sleeps and is woken a few times a picture at most
    // (a wake costs as much as reconstructing a hundred macroblocks). The
    // reconstruction thread is woken sooner, so that it does not idle at
    // the start of a picture.
    static constexpr uint64_t kSlots = 2048;
    static constexpr uint64_t kRoomBatch = 512;
    static constexpr uint64_t kWorkBatch = 64;
    // Deblocking goes to the thread that is ahead: the decoding thread
    // takes a share while more than kBalance records wait, the
    // reconstruction thread while fewer do.
    static constexpr uint64_t kHelpEvery = 64;
    static constexpr uint64_t kBalance = 256;
    // Counts are published every kPublish records (and before either side
    // waits): a shared counter written for every macroblock would bounce
    // its cache line between the two cores each time.
    static constexpr uint64_t kPublish = 16;

    void Loop();
    // The reconstruction thread's share of a job; false when there was none.
    bool TakeSharedParts();
    void RunParts();
    void PublishCommitted();
    void PublishConsumed(uint64_t consumed);
    void WaitForConsumed(uint64_t count);

    Consumer consumer_;
    Helper helper_;
    std::unique_ptr<MacroblockWork[]> ring_;
    // The decoding thread's own count, written for every record: on a cache
    // line of its own, away from what the other thread reads for every record.
    alignas(64) uint64_t localCommitted_ = 0;
    // What each side has published, and what a sleeping side waits for (0:
    // awake), each on a cache line of its own. Both sides use sequentially
    // consistent order on these: either a side's store of a count is seen by
    // the other's check before it sleeps, or the other's wish is seen and it
    // is woken.
    alignas(64) std::atomic<uint64_t> committed_{0};
    alignas(64) std::atomic<uint64_t> consumed_{0};
    alignas(64) std::atomic<uint64_t> consumerWants_{0};
    alignas(64) std::atomic<uint64_t> producerWants_{0};
    std::mutex lock_;
    std::condition_variable consumerWake_;
    std::condition_variable producerWake_;
    uint64_t pushed_ = 0; // records up to this one are consumed at once
    // Share's job: parts handed out and done; `sharers` counts the threads
    // taking parts, so that the job is not ended under one of them.
    const std::function<void(int)>* job_ = nullptr; // guarded by lock_
    int jobParts_ = 0;
    int jobSharers_ = 0;                            // guarded by lock_
    std::atomic<int> jobNext_{0};
    std::atomic<int> jobDone_{0};
    bool stopping_ = false;
    std::thread thread_; // last: starts after the fields exist
};

} // namespace QLMedia
