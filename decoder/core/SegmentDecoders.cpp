#include "SegmentDecoders.h"

namespace QLMedia {

SegmentDecoders::SegmentDecoders(int threads)
{
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this, i] { WorkerLoop(i); });
}

SegmentDecoders::~SegmentDecoders()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void SegmentDecoders::RunOnAll(const std::function<void(int)>& task)
{
    if (workers_.empty()) {
        task(0);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        task_ = &task;
        pending_ = int(workers_.size());
        ++generation_;
    }
    start_.notify_all();
    task(0);
    std::unique_lock<std::mutex> lock(lock_);
    done_.wait(lock, [this] { return pending_ == 0; });
    task_ = nullptr;
}

void SegmentDecoders::WorkerLoop(int index)
{
    unsigned seen = 0;
    for (;;) {
        const std::function<void(int)>* task;
        {
            std::unique_lock<std::mutex> lock(lock_);
            start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
            task = task_;
        }
        (*task)(index);
        {
            std::lock_guard<std::mutex> guard(lock_);
            --pending_;
        }
        done_.notify_one();
    }
}

} // namespace QLMedia
