// The local player: plays a stored stream (a `.DVR` backup, a DVR disk's
// video partition, a disk image, or one of our own `.avs` recordings) into
// the panes through the same decode path as live video, on a thread of its
// own, with play and pause, fast motion both ways in five speeds, single
// steps, jumps to either end and to any position, and the block audio.
//
// Threads: the control operations run on the user-interface thread and
// never wait for reading or decoding: they change the state and queue a
// command that the player thread carries out. The player thread reports
// through PlayerEvents (the window queues those calls to itself). The
// audio output calls the audio refill on its own thread.
#pragma once

#include "storage/BlockSource.h"
#include "storage/PlayerAudio.h"
#include "storage/RecordReader.h"
#include "storage/TimeIndex.h"

#include "net/FrameSink.h"
#include "net/ViewerState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tarnvik {

enum PlayState : int { kStateStopped = 0, kStatePlaying = 1, kStatePaused = 2, kStateFastForward = 3,
                       kStateFastBackward = 4 };

// The speed field's text for a PlaySpeed (-6..6), blanks included.
std::string SpeedLabel(int speed);
// The speeds that the FF and RW buttons step through.
int NextFastForwardSpeed(int speed);
int NextFastBackwardSpeed(int speed);

// The pictures a step shows, and the records a step reads at most while
// looking for them (a stretch of undecodable records must not hang it).
inline constexpr int kStepPictures = 8;
inline constexpr int kStepRecordLimit = 4096;

// What is being played.
struct PlayerSource {
    enum class Kind { Backup, Volume, Disk, Recording } kind = Kind::Backup;
    std::unique_ptr<BlockSource> blocks;
    std::unique_ptr<SourceFile> audioFile; // a second handle for block audio (may be null)
    std::string path;         // the file or device opened (a backup opens it again)
    uint64_t blocksStart = 0; // where the search for the first block starts
    TimeIndex index;     // the backup's `.inx` or the disk's `timeindex`; may be empty
    std::string carId;   // the disk's car identifier
    int codecKind = 3;   // the stream variant the decode path is told
    // The recorded period (DvrTimes): the index's, else the first and last
    // blocks'.
    uint32_t firstTime = 0;
    uint32_t lastTime = 0;

    // The position slider: sectors of the source, or index entries counted
    // from the oldest on a disk.
    int64_t SliderMaximum() const;
    int64_t SliderValue(uint64_t offset, uint32_t time) const;
    // Where a slider value points (a block is then searched from there).
    uint64_t SliderTarget(int64_t value) const;
    // Where a time search for `time` starts playing; nothing when the
    // recording holds no such time.
    std::optional<uint64_t> FindTimePosition(uint32_t time) const;
    bool DiskSlider() const { return kind == Kind::Disk && !index.Empty(); }
};

class PlayerEvents {
public:
    virtual ~PlayerEvents() = default;
    // The state or speed changed (the Play/Pause face, the speed field).
    virtual void PlayerChanged(int state, int speed, bool atEnd) = 0;
    // The player moved to another block: its start and time.
    virtual void PlayerPosition(uint64_t offset, uint32_t time) = 0;
    // A picture was shown: the status line and its time text.
    virtual void PlayerStatus(const std::string& line, uint32_t time, int milliseconds) = 0;
};

struct PlayerOptions {
    bool pacing = true; // false: records are read as fast as they decode (benchmarks)
};

class LocalPlayer {
public:
    LocalPlayer(ViewerState& state, FrameSink& sink, std::mutex* decodeLock, PlayerAudio* audio,
                PlayerEvents* events, PlayerOptions options = {});
    ~LocalPlayer();
    LocalPlayer(const LocalPlayer&) = delete;
    LocalPlayer& operator=(const LocalPlayer&) = delete;

    // Stops what plays, then starts the thread paused at the first block
    // (the oldest recording on a disk) and shows the first pictures.
    void Start(PlayerSource source);
    // Ends the thread (joined) and closes the source.
    void Stop();
    bool Running() const { return thread_.joinable(); }
    const PlayerSource* Source() const { return source_.get(); }

    void PlayPause();
    void FastForward();
    void FastBackward();
    void StepNext();
    void StepPrev();
    void MoveToFirst();
    void MoveToLast();
    // The slider is being dragged: playing pauses until the seek.
    void BeginSeek();
    // Plays on (or shows, when paused) from the first block at or after
    // `offset`.
    void SeekTo(uint64_t offset);

    int State() const { return state_.load(); }
    int Speed() const { return speed_.load(); }
    bool AtEnd() const { return atEnd_.load(); }

    // Blocks until the player thread has carried out every command given
    // so far and, unless playing, is idle (tests and the command line).
    bool WaitIdle(std::chrono::milliseconds limit);

    // Every record read and jump made; set before Start (tests).
    std::function<void(const ReaderEvent&)> onReaderEvent;

private:
    enum class Command { Step, StepPrev, First, Last, Seek, RestartAudio };
    struct Order {
        Command command;
        uint64_t offset = 0;
    };

    void Post(Command command, uint64_t offset = 0);
    // A new state and speed: the sound pauses unless playing, the window is
    // told, the thread wakes.
    void Move(int state, int speed);
    void Run();
    void Carry(const Order& order);
    void ShowPictures(int pictures);
    // Time-stamp pacing in the grid, frame-count pacing in the single view.
    void Pace(int channel);
    void PaceByTime();
    void PaceByCount(int channel);
    // Sleeps up to `ms`, ending early when a command arrives or playing stops.
    void Sleep(int64_t ms);
    void Publish();
    void ReachEnd();
    void Changed();
    void RestartAudio();
    void RefillAudio();

    ViewerState& viewer_;
    FrameSink& sink_;
    std::mutex* decodeLock_;
    PlayerAudio* audio_;
    PlayerEvents* events_;
    PlayerOptions options_;

    std::unique_ptr<PlayerSource> source_;
    std::unique_ptr<RecordReader> reader_;
    std::thread thread_;

    // Written by the user-interface thread, read by the player thread.
    std::atomic<int> state_{kStateStopped};
    std::atomic<int> speed_{0};
    std::atomic<bool> atEnd_{false};

    std::mutex lock_; // guards orders_, busy_, audioFed_ and the wake-ups
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Order> orders_;
    bool busy_ = false;
    // The audio output took more sound ("AudioLock"); with it, when.
    bool audioFed_ = false;
    std::chrono::steady_clock::time_point lastAudioFeed_{};

    // Player thread only.
    uint64_t publishedBlock_ = kNoBlock;
    int64_t lastStreamMs_ = 0;
    std::chrono::steady_clock::time_point lastWall_{};
    std::chrono::steady_clock::time_point lastStatus_{};
    // Frame-count pacing: records counted in the current period.
    int periodRecords_ = 0;
    int periodLength_ = 0;
    std::chrono::steady_clock::time_point periodStart_{};
    int64_t lastMarkedMs_ = 0; // from the period start to the last paced record

    // The audio reader: guarded by audioLock_ (audio thread and player).
    // It reads the source's blocks through a handle of its own where the
    // source has one, else through the source itself.
    std::mutex audioLock_;
    BlockInfo audioBlock_;
    std::unique_ptr<GopBlockSource> audioOwned_;
    BlockSource* audioSource_ = nullptr;
    std::unique_ptr<uint8_t[]> audioBuffer_; // kAudioBufferBytes
};

} // namespace tarnvik
