// Raw backup: a time range of the source that local playback has open,
// copied byte for byte into a new file of the chosen folder.
// - From a DVR disk, a disk image or a `.DVR` backup: the blocks of the
//   index entries the range covers go into "%d%02d%02d_%02d%02d%02d_%d.DVR",
//   with an `.inx` beside it that lists those entries (header 0, 1, n, 0;
//   positions relative to the first block copied).
// - From a `.avs` recording (no blocks, no index): its file header and the
//   whole records of the range go into "…_%d.avs".
//
// PlanBackup runs on the user-interface thread without touching the
// source's file; RawBackupJob does every read and write on a worker thread
// of its own and reports through fields the window polls. Nothing it
// leaves behind is partial: a failed create, read or write, and a cancel,
// delete what was written.
#pragma once

#include "storage/LocalPlayer.h"
#include "storage/TimeIndex.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarnvik {

inline constexpr const char* kNotFoundVideoData = "Not found video data!";

// Bytes moved per read and write.
inline constexpr size_t kBackupChunkBytes = 20u << 20;

// The byte range the window takes from the open source, with what the
// worker needs to find its blocks again on a handle of its own.
struct BackupPlan {
    PlayerSource::Kind kind = PlayerSource::Kind::Backup;
    std::string sourcePath;
    // Blocks (DVR disk, image, `.DVR`): the copy starts at the first block
    // at or after startPosition and ends at endPosition (kNoBlock: at the
    // end of the data). A DVR disk's ring may wrap in between.
    uint64_t startPosition = 0;
    uint64_t endPosition = kNoBlock;
    uint64_t blocksStart = 0;
    TimeIndex index;
    // Index entries for the `.inx`: sorted[startEntry] (the oldest) down to
    // sorted[endEntry] (the newest); -1 for a recording or a source without
    // an index (no `.inx` is written).
    int startEntry = -1;
    int endEntry = -1;
    // Blocks without an index: the range is found by the blocks' own times.
    bool byBlockTime = false;
    uint32_t startTime = 0, endTime = 0;
};

// The range from `startTime` to `endTime` (DvrTimes) of `source`:
// - with blocks and an index, the entries that hold both ends (the time search, which
//   matches whole minutes, narrowed to the seconds); the copy runs from the start entry's first block to the start of the entry
//   after the end entry (or the end of the data), so the end time's
//   interval is in the backup;
// - with blocks but no index, the worker finds the range by the blocks'
//   own times, from the block that holds the start to the last block that
//   starts by the end;
// - in a recording, from the block that holds the start time (it opens with
//   a key picture) to the last block that starts by the end time.
// Nothing when the start is not before the end, or either end lies outside
// the recording ("Not found video data!").
std::optional<BackupPlan> PlanBackup(const PlayerSource& source, uint32_t startTime, uint32_t endTime);

// "%d%02d%02d_%02d%02d%02d_%d" + extension in `folder`, with the lowest
// counter from 0 for which neither that file nor its `.inx` exists.
std::string BackupFileName(const std::string& folder, const std::tm& localTime, int counter, const char* extension);

struct BackupRequest {
    BackupPlan plan;
    std::string folder;       // RecPath; created when missing
    std::time_t startedAt = 0; // the name's time (local)
    size_t chunkBytes = kBackupChunkBytes;
    // Called on the worker after each chunk written (tests pause it there).
    std::function<void(uint32_t chunksDone)> afterChunk;
};

enum class BackupStatus { Running, Succeeded, Failed, Cancelled };

class RawBackupJob {
public:
    explicit RawBackupJob(BackupRequest request);
    // Cancels a running copy and waits for the worker.
    ~RawBackupJob();
    RawBackupJob(const RawBackupJob&) = delete;
    RawBackupJob& operator=(const RawBackupJob&) = delete;

    void Start();
    // The worker stops before its next chunk and deletes what it wrote;
    // Status() turns Cancelled once it has. Does not wait.
    void Cancel() { cancel_ = true; }
    // Cancels and waits for the worker to stop.
    void CancelAndWait();

    BackupStatus Status() const { return status_.load(); }
    uint32_t ChunksDone() const { return chunksDone_.load(); }
    uint32_t ChunksTotal() const { return chunksTotal_.load(); }
    // Once finished: the files written, or why nothing was.
    std::string OutputPath() const;
    std::string IndexPath() const;
    std::string Message() const;

private:
    void Run();
    BackupStatus Copy(std::string& message);
    void Finish(BackupStatus status, const std::string& message);

    BackupRequest request_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<BackupStatus> status_{BackupStatus::Running};
    std::atomic<uint32_t> chunksDone_{0};
    std::atomic<uint32_t> chunksTotal_{0};
    mutable std::mutex lock_; // guards the three texts below
    std::string outputPath_, indexPath_, message_;
};

} // namespace tarnvik
