#include "RawBackup.h"

#include "storage/RecordFile.h"

#include "dvrformat/StreamFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace tarnvik {

using namespace dvrformat;

namespace {

// A span of the source copied as one run of the output.
struct Span {
    uint64_t begin = 0, end = 0;
};

std::string SystemReason() { return std::strerror(errno); }

// An output file that deletes itself unless kept.
class OutputFile {
public:
    ~OutputFile() { Discard(); }

    // Creates `path`; with `exclusive`, fails when it exists.
    bool Create(const std::string& path, bool exclusive, std::string& message)
    {
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
        fd_ = ::open(path.c_str(), flags, 0644);
        if (fd_ < 0) {
            exists_ = errno == EEXIST;
            message = "Can't create " + path + ": " + SystemReason();
            return false;
        }
        path_ = path;
        return true;
    }
    bool Write(const uint8_t* data, size_t size, std::string& message)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                message = "Can't write " + path_ + ": " + (n < 0 ? SystemReason() : std::string("no space"));
                return false;
            }
            data += n;
            size -= size_t(n);
        }
        return true;
    }
    // Flushes to the disk and closes: a write error the system held back
    // shows here, before the user is told the backup succeeded.
    bool Close(std::string& message)
    {
        const bool synced = ::fdatasync(fd_) == 0;
        const int syncErrno = errno;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!synced || !closed) {
            errno = synced ? errno : syncErrno;
            message = "Can't write " + path_ + ": " + SystemReason();
            return false;
        }
        return true;
    }
    bool Existed() const { return exists_; }
    void Keep() { path_.clear(); }
    void Discard()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!path_.empty())
            ::unlink(path_.c_str());
        path_.clear();
    }

private:
    int fd_ = -1;
    bool exists_ = false;
    std::string path_;
};

// Where a source position lands in the output: spans follow each other.
uint64_t OutputPosition(const std::vector<Span>& spans, uint64_t position)
{
    uint64_t before = 0;
    for (const Span& span : spans) {
        if (position >= span.begin && position < span.end)
            return before + (position - span.begin);
        before += span.end - span.begin;
    }
    return spans.empty() || position < spans.front().begin ? 0 : before;
}

// The entry whose interval holds `time`. The time search matches in whole
// minutes, so it may land on a later entry of the same minute; a backup
// must not lose those seconds, so it takes the newest entry that starts by
// `time`, or, for a time just before the recording, the oldest entry.
int EntryHolding(const TimeIndex& index, uint32_t time)
{
    const int found = FindTime(index, time);
    if (found < 0)
        return -1;
    const size_t valid = std::min(index.count, index.sorted.size());
    int oldest = found;
    for (size_t i = size_t(found); i < valid; ++i) {
        if (index.sorted[i].time < kEndOf1970)
            continue;
        if (index.sorted[i].time <= time)
            return int(i);
        oldest = int(i);
    }
    return oldest;
}

} // namespace

std::optional<BackupPlan> PlanBackup(const PlayerSource& source, uint32_t startTime, uint32_t endTime)
{
    if (startTime >= endTime || !source.blocks)
        return std::nullopt;
    BackupPlan plan;
    plan.kind = source.kind;
    plan.sourcePath = source.path;
    plan.blocksStart = source.blocksStart;

    if (source.kind == PlayerSource::Kind::Recording) {
        const auto* recording = dynamic_cast<const RecordFileSource*>(source.blocks.get());
        if (!recording || recording->Blocks().empty())
            return std::nullopt;
        const std::vector<BlockInfo>& blocks = recording->Blocks();
        if (startTime > blocks.back().time || endTime < blocks.front().time)
            return std::nullopt;
        auto startsAfter = [](uint32_t t, const BlockInfo& b) { return t < b.time; };
        auto first = std::upper_bound(blocks.begin(), blocks.end(), startTime, startsAfter);
        if (first != blocks.begin())
            --first; // the block that holds the start time
        const auto last = std::upper_bound(blocks.begin(), blocks.end(), endTime, startsAfter);
        if (last <= first)
            return std::nullopt;
        plan.startPosition = first->offset;
        plan.endPosition = last == blocks.end() ? std::min(blocks.back().next, recording->Size()) : last->offset;
        return plan;
    }

    if (source.index.Empty()) {
        // No index (a volume, a `.DVR` without its `.inx`): the worker walks
        // the blocks by their times.
        if (startTime > source.lastTime || endTime < source.firstTime)
            return std::nullopt;
        plan.byBlockTime = true;
        plan.startTime = startTime;
        plan.endTime = endTime;
        return plan;
    }
    const int start = EntryHolding(source.index, startTime);
    const int end = EntryHolding(source.index, endTime);
    if (start < 0 || end < 0 || end > start)
        return std::nullopt;
    plan.index = source.index;
    plan.startEntry = start;
    plan.endEntry = end;
    plan.startPosition = source.index.sorted[size_t(start)].position;
    // The entry after the end entry starts where the range stops; after
    // the newest one, the data ends.
    plan.endPosition = end == 0 ? kNoBlock : source.index.sorted[size_t(end - 1)].position;
    if (plan.endPosition == plan.startPosition)
        return std::nullopt;
    return plan;
}

// The spans of the source that the plan covers, in recording order, and
// the recording's file header to put first. Succeeded when they are found.
BackupStatus FindSpans(const BackupPlan& plan, const SourceFile& in, const std::atomic<bool>& cancel,
                       std::vector<Span>& spans, std::vector<uint8_t>& header, std::string& message)
{
    if (plan.kind == PlayerSource::Kind::Recording) {
        uint8_t head[kStreamFileHeaderSize];
        if (in.ReadAt(0, head, sizeof head) == sizeof head && StreamFileHeader::Read(head).HasValidSignature())
            header.assign(head, head + sizeof head);
        const uint64_t end = std::min(plan.endPosition, in.Size());
        if (plan.startPosition < end)
            spans.push_back({plan.startPosition, end});
    } else {
        // The block search reads through a handle of its own.
        auto searchFile = std::make_unique<SourceFile>();
        std::string reason;
        if (!searchFile->Open(plan.sourcePath, reason)) {
            message = "Can't open " + plan.sourcePath + ": " + reason;
            return BackupStatus::Failed;
        }
        auto index = std::make_shared<const TimeIndex>(plan.index);
        GopBlockSource blocks(std::move(searchFile), plan.blocksStart,
                              [index](uint64_t position) { return NextSegment(*index, position); },
                              plan.kind == PlayerSource::Kind::Disk);
        BlockInfo first;
        uint64_t end = plan.endPosition;
        if (plan.byBlockTime) {
            // From the block that holds the start time to the first block
            // that starts after the end time.
            for (BlockInfo b = blocks.First(); b.Valid() && b.time <= plan.endTime; b = blocks.After(b)) {
                if (cancel)
                    return BackupStatus::Cancelled;
                if (!first.Valid() || b.time <= plan.startTime)
                    first = b;
                end = b.next;
            }
        } else {
            first = blocks.FindFrom(plan.startPosition);
        }
        if (end == kNoBlock) {
            const BlockInfo last = blocks.Last();
            end = last.Valid() ? last.next : 0;
        }
        end = std::min(end, in.Size());
        if (first.Valid() && first.offset < end) {
            spans.push_back({first.offset, end});
        } else if (first.Valid() && plan.kind == PlayerSource::Kind::Disk) {
            // The ring wrapped within the range: on to the partition's end,
            // then from its first block.
            const BlockInfo front = blocks.FindFrom(0);
            const uint64_t partitionEnd = in.Size() / kSectorSize * kSectorSize;
            if (front.Valid() && front.offset < end && front.offset < first.offset && first.offset < partitionEnd) {
                spans.push_back({first.offset, partitionEnd});
                spans.push_back({front.offset, end});
            }
        }
    }
    if (spans.empty()) {
        message = kNotFoundVideoData;
        return BackupStatus::Failed;
    }
    return BackupStatus::Succeeded;
}

// The `.inx`: the plan's entries from the start entry (the oldest) to the
// end entry, positions in the new file.
bool WriteIndex(const BackupPlan& plan, const std::vector<Span>& spans, const std::string& path, OutputFile& index,
                std::string& message)
{
    if (!index.Create(path, false, message))
        return false;
    const int count = plan.startEntry - plan.endEntry + 1;
    std::vector<uint8_t> bytes(kTimeIndexHeaderSize + size_t(count) * kTimeIndexEntrySize);
    TimeIndexHeader head;
    head.oldest = 1;
    head.newest = uint32_t(count);
    head.Write(bytes.data());
    uint8_t* p = bytes.data() + kTimeIndexHeaderSize;
    for (int n = plan.startEntry; n >= plan.endEntry; --n, p += kTimeIndexEntrySize) {
        TimeIndexEntry entry = plan.index.sorted[size_t(n)];
        entry.position = n == plan.startEntry ? 0 : OutputPosition(spans, entry.position);
        entry.Write(p);
    }
    return index.Write(bytes.data(), bytes.size(), message) && index.Close(message);
}

std::string BackupFileName(const std::string& folder, const std::tm& t, int counter, const char* extension)
{
    char name[96];
    std::snprintf(name, sizeof name, "%d%02d%02d_%02d%02d%02d_%d%s", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, counter, extension);
    return (std::filesystem::path(folder) / name).string();
}

RawBackupJob::RawBackupJob(BackupRequest request) : request_(std::move(request)) {}

RawBackupJob::~RawBackupJob()
{
    CancelAndWait();
}

void RawBackupJob::Start()
{
    if (!worker_.joinable())
        worker_ = std::thread([this] { Run(); });
}

void RawBackupJob::CancelAndWait()
{
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
}

std::string RawBackupJob::OutputPath() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return outputPath_;
}

std::string RawBackupJob::IndexPath() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return indexPath_;
}

std::string RawBackupJob::Message() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return message_;
}

void RawBackupJob::Finish(BackupStatus status, const std::string& message)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        message_ = message;
        if (status != BackupStatus::Succeeded) {
            outputPath_.clear();
            indexPath_.clear();
        }
    }
    status_ = status;
}

void RawBackupJob::Run()
{
    std::string message;
    const BackupStatus status = Copy(message);
    Finish(status, message);
}

BackupStatus RawBackupJob::Copy(std::string& message)
{
    const BackupPlan& plan = request_.plan;
    const bool recording = plan.kind == PlayerSource::Kind::Recording;

    SourceFile in;
    std::string reason;
    if (!in.Open(plan.sourcePath, reason)) {
        message = "Can't open " + plan.sourcePath + ": " + reason;
        return BackupStatus::Failed;
    }

    // The spans to copy, in recording order.
    std::vector<Span> spans;
    std::vector<uint8_t> header;
    if (const BackupStatus found = FindSpans(plan, in, cancel_, spans, header, message);
        found != BackupStatus::Succeeded)
        return found;
    uint64_t total = header.size();
    for (const Span& span : spans)
        total += span.end - span.begin;
    const size_t chunk = std::max<size_t>(request_.chunkBytes, kSectorSize);
    chunksTotal_ = uint32_t((total + chunk - 1) / chunk);

    // The output: a free name in the folder, taken atomically, so two
    // backups started in the same second get counters 0 and 1.
    std::error_code ec;
    if (!std::filesystem::create_directories(request_.folder, ec) && ec) {
        message = "Can't make directory " + request_.folder + ": " + ec.message();
        return BackupStatus::Failed;
    }
    std::tm local{};
    localtime_r(&request_.startedAt, &local);
    const char* extension = recording ? ".avs" : ".DVR";
    OutputFile out;
    std::string path;
    for (int counter = 0;; ++counter) {
        if (counter == 10000) {
            message = "Can't create a backup in " + request_.folder + ": every name of this second is taken.";
            return BackupStatus::Failed;
        }
        path = BackupFileName(request_.folder, local, counter, extension);
        if (!recording && std::filesystem::exists(IndexPathFor(path), ec))
            continue;
        if (out.Create(path, true, message))
            break;
        if (!out.Existed())
            return BackupStatus::Failed;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        outputPath_ = path;
    }

    std::vector<uint8_t> buffer(chunk);
    size_t filled = 0;
    uint32_t done = 0;
    // Writes what the buffer holds as one chunk.
    auto flush = [&]() {
        if (!out.Write(buffer.data(), filled, message))
            return false;
        filled = 0;
        chunksDone_ = ++done;
        if (request_.afterChunk)
            request_.afterChunk(done);
        return true;
    };
    std::copy(header.begin(), header.end(), buffer.begin());
    filled = header.size();
    for (const Span& span : spans) {
        for (uint64_t at = span.begin; at < span.end;) {
            if (cancel_)
                return BackupStatus::Cancelled;
            // The last read stops at the end of the range, not at a chunk's.
            const size_t want = size_t(std::min<uint64_t>(chunk - filled, span.end - at));
            if (in.ReadAt(at, buffer.data() + filled, want) != want) {
                message = "Can't read " + plan.sourcePath + " at byte " + std::to_string(at) + ".";
                return BackupStatus::Failed;
            }
            filled += want;
            at += want;
            if (filled == chunk && !flush())
                return BackupStatus::Failed;
        }
    }
    if (cancel_)
        return BackupStatus::Cancelled;
    if (filled > 0 && !flush())
        return BackupStatus::Failed;
    if (!out.Close(message))
        return BackupStatus::Failed;

    OutputFile index;
    if (plan.startEntry >= 0) {
        const std::string indexPath = IndexPathFor(path);
        if (!WriteIndex(plan, spans, indexPath, index, message))
            return BackupStatus::Failed;
        std::lock_guard<std::mutex> guard(lock_);
        indexPath_ = indexPath;
    }
    if (cancel_)
        return BackupStatus::Cancelled;
    out.Keep();
    index.Keep();
    return BackupStatus::Succeeded;
}

} // namespace tarnvik
