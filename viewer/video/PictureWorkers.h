// Live pictures decoded off the receiving thread. A few workers share the
// channels: a channel's pictures always go to the same worker, so they
// decode in order and its decoder is only ever used by that worker. Each
// channel may have a bounded number of pictures waiting; what a full queue
// refuses is the caller's to handle (the channel then waits for its next key
// picture, so memory never grows with a slow machine). The reports of what
// became of each picture are handed out in the order the pictures came in,
// whichever worker finished first, so that the frame list and the REC mark
// follow the stream.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnvik {

// One picture to decode and show, with what the receiving thread decided
// about it while the frame header was current.
struct PictureJob {
    int channel = 0;     // the decoder's channel: decides the worker
    int handleIndex = 0; // the decoder handle (the channel's, or 0 for a single-stream DVR)
    bool jpeg = false;
    int width = 0;
    int croppedHeight = 0;
    int topMargin = 0;
    bool lineDoubling = false;
    int streamClass = 1;
    std::string timeText;
    int timeTextChannel = -1; // the frame's channel, whose pane gets the time text; -1: none
    int frameRate = 0;        // the frame header's pictures per second (0: not said)
    bool pal = false;         // the frame header's video standard
    std::vector<uint8_t> data;
    // Called once with whether the picture was shown, in hand-over order.
    std::function<void(bool shown)> done;
};

class PictureWorkers {
public:
    // Decodes and shows a job on worker `worker` (0 .. count-1); true when
    // a picture was shown.
    using Render = std::function<bool(const PictureJob& job, int worker)>;

    PictureWorkers(int workerCount, int perChannelLimit, Render render);
    // Queued pictures are dropped, the running ones finish, the workers end.
    ~PictureWorkers();
    PictureWorkers(const PictureWorkers&) = delete;
    PictureWorkers& operator=(const PictureWorkers&) = delete;

    int WorkerCount() const { return int(workers_.size()); }

    // A buffer for the next job's data of `channel`, reusing the memory of
    // finished jobs.
    std::vector<uint8_t> TakeBuffer(int channel);
    // Queues the job. False when the channel already has its limit of
    // pictures waiting: nothing is queued and `done` is not called.
    bool Submit(PictureJob&& job);
    // A picture that is not decoded at all: `done(false)` in its turn among
    // the pictures handed over before it.
    void ReportNotShown(std::function<void(bool shown)> done);
    // Every queued picture is dropped (its `done` says not shown); returns
    // once no worker is decoding. The caller's decoders are then free.
    void Discard();

private:
    struct Worker {
        std::deque<std::pair<uint64_t, PictureJob>> queue;
        bool busy = false;
        std::condition_variable wake;
    };
    static constexpr int kChannels = 16;

    void Run(int worker);
    // Reports in hand-over order: a report waits for those before it.
    void Report(uint64_t sequence, bool shown, std::function<void(bool)> done);

    const int perChannelLimit_;
    const Render render_;

    std::mutex lock_;
    std::condition_variable idle_;
    std::vector<std::unique_ptr<Worker>> workers_;
    int waiting_[kChannels] = {}; // queued or being decoded
    std::vector<std::vector<uint8_t>> spare_[kChannels];
    uint64_t nextSequence_ = 0;
    bool ending_ = false;

    std::mutex reportLock_;
    uint64_t nextReport_ = 0;
    std::map<uint64_t, std::pair<bool, std::function<void(bool)>>> heldReports_;

    std::vector<std::thread> threads_;
};

} // namespace tarnvik
