// A second thread that filters a picture while it is being decoded, a few
// macroblocks behind reconstruction, so that the decoding thread never
// deblocks. Deblocking changes samples that intra prediction of the next
// macroblock row still reads unfiltered, so macroblock (x, y) is filtered
// only once every macroblock up to (x + 1, y + 1) has been reconstructed;
// the last row waits for the end of the picture. The decoding thread tells
// how far the picture is done; the follower sleeps when it catches up and is
// woken about once per macroblock row. The result is identical to
// DeblockPicture.
#pragma once

#include "Picture.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace QLMedia {

class DeblockFollower {
public:
    // Starts the thread; throws std::system_error when it cannot.
    DeblockFollower();
    ~DeblockFollower();
    DeblockFollower(const DeblockFollower&) = delete;
    DeblockFollower& operator=(const DeblockFollower&) = delete;

    // Starts following a new picture. The macroblock table and the slice
    // parameters must stay where they are until Finish or Abandon returns;
    // slice parameters may be appended meanwhile if the storage does not
    // move.
    void Begin(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
               const SliceFilterParams* slices);
    // Macroblocks 0 .. decodedPrefix - 1 (raster order) are reconstructed.
    void Advance(int decodedPrefix);
    // Every macroblock is final: filters the rest and returns when the whole
    // picture is filtered.
    void Finish();
    // Stops filtering the picture and returns when the thread has let go.
    void Abandon();

private:
    void Loop();
    void FilterPicture();
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    std::mutex lock_; // guards the fields below, except the atomics
    std::condition_variable wake_; // for the follower
    std::condition_variable idle_; // for the decoding thread
    bool active_ = false;
    bool stopping_ = false;
    PicturePlanes picture_{};
    const MbInfo* mbs_ = nullptr;
    const SliceFilterParams* slices_ = nullptr;
    int widthMbs_ = 0;
    int heightMbs_ = 0;

    std::atomic<int> ready_{0};  // the decoded prefix
    std::atomic<int> wanted_{0}; // the prefix the follower sleeps for, 0 when awake
    std::atomic<bool> abandon_{false}; // set under lock_ so that a sleeping follower sees it
    std::thread thread_;         // last: starts after the fields exist
};

} // namespace QLMedia
