#include "PlaybackSources.h"

#include "storage/FileNames.h"
#include "storage/RecordFile.h"

#include "dvrformat/StreamFile.h"

#include <algorithm>

namespace tarnvik {

using namespace dvrformat;

namespace {

std::unique_ptr<SourceFile> OpenFile(const std::string& path, std::string& message)
{
    auto file = std::make_unique<SourceFile>();
    std::string reason;
    if (!file->Open(path, reason)) {
        message = "Can't open " + path + ": " + reason;
        return nullptr;
    }
    return file;
}

bool SignatureOf(const SourceFile& file)
{
    uint8_t head[kStreamFileHeaderSize] = {};
    return file.ReadAt(0, head, sizeof head) == sizeof head && StreamFileHeader::Read(head).HasValidSignature();
}

// The block search asks the index where recording goes on; it keeps its
// own copy, as the source is moved into the player.
NextSegmentFn SegmentsOf(const PlayerSource& source)
{
    auto index = std::make_shared<const TimeIndex>(source.index);
    return [index](uint64_t position) { return NextSegment(*index, position); };
}

void SetPeriod(PlayerSource& out, const BlockInfo& first)
{
    if (!out.index.Empty()) {
        out.firstTime = out.index.startTime;
        out.lastTime = out.index.endTime;
        return;
    }
    const BlockInfo last = out.blocks->Last();
    out.firstTime = first.time;
    out.lastTime = last.Valid() ? last.time : first.time;
}

} // namespace

OpenResult RequireBlocks(PlayerSource& out, const std::string& path, std::string& message)
{
    const BlockInfo first = out.blocks->First();
    if (!first.Valid()) {
        message = "No video data was found in " + path + ".";
        out = PlayerSource{};
        return OpenResult::Failed;
    }
    SetPeriod(out, first);
    return OpenResult::Ok;
}

OpenResult OpenBackupSource(const std::string& path, PlayerSource& out, std::string& message)
{
    out = PlayerSource{};
    out.kind = PlayerSource::Kind::Backup;
    out.path = path;
    auto file = OpenFile(path, message);
    auto audio = OpenFile(path, message);
    if (!file || !audio)
        return OpenResult::Failed;
    // A backup's blocks are found by search, with or without a file header.
    const uint64_t size = file->Size();
    std::string indexError;
    if (!LoadTimeIndex(IndexPathFor(path), false, size, out.index, indexError))
        out.index = TimeIndex{};
    out.blocks = std::make_unique<GopBlockSource>(std::move(file), 0, SegmentsOf(out));
    out.audioFile = std::move(audio);
    return RequireBlocks(out, path, message);
}

OpenResult OpenRecordingSource(const std::string& path, PlayerSource& out, std::string& message,
                               const std::atomic<bool>* cancel)
{
    out = PlayerSource{};
    out.kind = PlayerSource::Kind::Recording;
    out.path = path;
    auto file = OpenFile(path, message);
    if (!file)
        return OpenResult::Failed;
    auto recording = std::make_unique<RecordFileSource>();
    std::string reason;
    if (!recording->Open(std::move(file), reason, cancel)) {
        message = path + ": " + reason;
        return OpenResult::Failed;
    }
    // The recording is decoded the way its DVR was: by its own variant.
    const int kind = recording->Scan().codecKind;
    out.codecKind = kind >= 0 ? kind : 3;
    out.blocks = std::move(recording);
    SetPeriod(out, out.blocks->First());
    return OpenResult::Ok;
}

OpenResult OpenVolumeSource(const std::string& path, PlayerSource& out, std::string& message)
{
    out = PlayerSource{};
    out.kind = PlayerSource::Kind::Volume;
    out.path = path;
    auto file = OpenFile(path, message);
    auto audio = OpenFile(path, message);
    if (!file || !audio)
        return OpenResult::Failed;
    const bool signatureValid = SignatureOf(*file);
    out.blocks = std::make_unique<GopBlockSource>(std::move(file), 0, NextSegmentFn{});
    out.audioFile = std::move(audio);
    if (!signatureValid) {
        message = kSignatureInvalid;
        return OpenResult::SignatureInvalid;
    }
    return RequireBlocks(out, path, message);
}

OpenResult OpenDiskSource(const DvrDisk& disk, PlayerSource& out, std::string& message)
{
    out = PlayerSource{};
    out.kind = PlayerSource::Kind::Disk;
    out.path = disk.videoDevice;
    auto file = OpenFile(disk.videoDevice, message);
    auto audio = OpenFile(disk.videoDevice, message);
    if (!file || !audio)
        return OpenResult::Failed;
    std::string indexError;
    if (!LoadTimeIndex(disk.timeIndexPath(), true, file->Size(), out.index, indexError)) {
        message = kOpenFileError;
        out = PlayerSource{};
        return OpenResult::Failed;
    }
    out.carId = ReadCarId(disk.carIdPath());
    // The oldest recording: the last entry of the newest-first index.
    const size_t count = std::min(out.index.count, out.index.sorted.size());
    const uint64_t oldest = count == 0 ? 0 : out.index.sorted[count - 1].position;
    out.blocksStart = oldest;
    out.blocks = std::make_unique<GopBlockSource>(std::move(file), oldest, SegmentsOf(out), true);
    out.audioFile = std::move(audio);
    return RequireBlocks(out, disk.videoDevice, message);
}

OpenResult OpenFileSource(const std::string& path, PlayerSource& out, std::string& message)
{
    if (EndsWithIgnoringCase(path, ".avs"))
        return OpenRecordingSource(path, out, message);
    return OpenBackupSource(path, out, message);
}

} // namespace tarnvik
