#include "PictureWorkers.h"

#include "net/Trace.h"

#include <system_error>

namespace tarnvik {

PictureWorkers::PictureWorkers(int workerCount, int perChannelLimit, Render render)
    : perChannelLimit_(perChannelLimit < 1 ? 1 : perChannelLimit), render_(std::move(render))
{
    for (int i = 0; i < workerCount; ++i)
        workers_.push_back(std::make_unique<Worker>());
    for (int i = 0; i < workerCount; ++i) {
        try {
            threads_.emplace_back([this, i] { Run(i); });
        } catch (const std::system_error&) {
            // Fewer workers than asked still share every channel; with none
            // the caller decodes on its own thread.
            Trace("a picture worker could not start");
            break;
        }
    }
    workers_.resize(threads_.size());
}

PictureWorkers::~PictureWorkers()
{
    Discard();
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    for (auto& worker : workers_)
        worker->wake.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

std::vector<uint8_t> PictureWorkers::TakeBuffer(int channel)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto& spare = spare_[channel & (kChannels - 1)];
    if (spare.empty())
        return {};
    std::vector<uint8_t> buffer = std::move(spare.back());
    spare.pop_back();
    return buffer;
}

bool PictureWorkers::Submit(PictureJob&& job)
{
    if (workers_.empty())
        return false;
    const int channel = job.channel & (kChannels - 1);
    Worker* worker = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (waiting_[channel] >= perChannelLimit_)
            return false;
        ++waiting_[channel];
        worker = workers_[size_t(channel) % workers_.size()].get();
        worker->queue.emplace_back(nextSequence_++, std::move(job));
    }
    worker->wake.notify_one();
    return true;
}

void PictureWorkers::ReportNotShown(std::function<void(bool shown)> done)
{
    uint64_t sequence;
    {
        std::lock_guard<std::mutex> guard(lock_);
        sequence = nextSequence_++;
    }
    Report(sequence, false, std::move(done));
}

void PictureWorkers::Discard()
{
    std::vector<std::pair<uint64_t, PictureJob>> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& worker : workers_) {
            for (auto& entry : worker->queue) {
                const int channel = entry.second.channel & (kChannels - 1);
                --waiting_[channel];
                spare_[channel].push_back(std::move(entry.second.data));
                dropped.push_back(std::move(entry));
            }
            worker->queue.clear();
        }
    }
    for (auto& [sequence, job] : dropped)
        Report(sequence, false, std::move(job.done));
    std::unique_lock<std::mutex> lock(lock_);
    idle_.wait(lock, [this] {
        for (const auto& worker : workers_) {
            if (worker->busy)
                return false;
        }
        return true;
    });
}

void PictureWorkers::Run(int index)
{
    Worker& worker = *workers_[size_t(index)];
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        worker.wake.wait(lock, [&] { return ending_ || !worker.queue.empty(); });
        if (worker.queue.empty())
            return; // ending
        auto [sequence, job] = std::move(worker.queue.front());
        worker.queue.pop_front();
        worker.busy = true;
        lock.unlock();

        const bool shown = render_(job, index);
        // Reported before the worker counts as idle: once Discard returns,
        // no report of an earlier picture is still to come.
        Report(sequence, shown, std::move(job.done));

        lock.lock();
        const int channel = job.channel & (kChannels - 1);
        --waiting_[channel];
        spare_[channel].push_back(std::move(job.data));
        worker.busy = false;
        idle_.notify_all();
    }
}

void PictureWorkers::Report(uint64_t sequence, bool shown, std::function<void(bool)> done)
{
    std::lock_guard<std::mutex> guard(reportLock_);
    heldReports_.emplace(sequence, std::make_pair(shown, std::move(done)));
    while (!heldReports_.empty() && heldReports_.begin()->first == nextReport_) {
        auto report = std::move(heldReports_.begin()->second);
        heldReports_.erase(heldReports_.begin());
        ++nextReport_;
        if (report.second)
            report.second(report.first);
    }
}

} // namespace tarnvik
