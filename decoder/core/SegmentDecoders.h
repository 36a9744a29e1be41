// The decoder's worker threads. A task is run on every thread at once (the
// caller's thread takes index 0) and the call returns when all have ended;
// the work inside a task coordinates itself (see the deblocking wavefront).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace QLMedia {

class SegmentDecoders {
public:
    // `threads` in 1..8; threads - 1 workers are started. Throws
    // std::system_error when a thread cannot be started.
    explicit SegmentDecoders(int threads);
    ~SegmentDecoders();
    SegmentDecoders(const SegmentDecoders&) = delete;
    SegmentDecoders& operator=(const SegmentDecoders&) = delete;

    int Count() const { return int(workers_.size()) + 1; }
    void RunOnAll(const std::function<void(int index)>& task);

private:
    void WorkerLoop(int index);

    std::vector<std::thread> workers_;
    std::mutex lock_; // guards everything below
    std::condition_variable start_;
    std::condition_variable done_;
    const std::function<void(int)>* task_ = nullptr;
    unsigned generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};

} // namespace QLMedia
