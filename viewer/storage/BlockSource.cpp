#include "BlockSource.h"

#include "dvrformat/FrameHeader.h"
#include "dvrformat/StreamFile.h"

#include <algorithm>

namespace tarnvik {

using namespace dvrformat;

namespace {

constexpr size_t kWindowBytes = 512 * 1024;
// A search gives up after this much data without a block (unless the index
// names a later segment): a partition of garbage must not hold the player
// for minutes.
constexpr uint64_t kMaxSearchBytes = 64ull << 20;

} // namespace

GopBlockSource::GopBlockSource(std::unique_ptr<SourceFile> file, uint64_t start, NextSegmentFn nextSegment, bool ring)
    : file_(std::move(file)), start_(start), nextSegment_(std::move(nextSegment)), ring_(ring), window_(kWindowBytes)
{
}

BlockInfo GopBlockSource::ReadOpening(uint64_t offset, uint32_t* previousLength)
{
    BlockInfo info;
    if (offset % kSectorSize != 0 || offset >= file_->Size())
        return info;
    uint8_t sector[kSectorSize];
    if (file_->ReadAt(offset, sector, kSectorSize) < kFrameHeaderLong)
        return info;
    const int at = FindFrameMagic(sector, kFrameHeaderLong);
    if (at < 0)
        return info;
    const FrameHeader h = FrameHeader::Read(sector + at, kSectorSize - size_t(at));
    if (h.blockLength == 0 || h.blockLength >= kBlockLengthMax)
        return info;
    info.offset = offset;
    info.next = offset + RoundUpToSector(h.blockLength);
    // Audio that cannot be the block's own is not read as sound.
    const uint32_t audio = h.audioBlockLength <= h.blockLength ? h.audioBlockLength : 0;
    info.audioBytes = audio;
    info.recordBytes = h.blockLength - audio;
    info.time = h.time;
    if (previousLength)
        *previousLength = h.previousBlockLength;
    return info;
}

bool GopBlockSource::Confirmed(const BlockInfo& block)
{
    if (block.next >= file_->Size())
        return true;
    uint32_t previous = 0;
    const BlockInfo following = ReadOpening(block.next, &previous);
    return following.Valid() && previous == block.recordBytes + block.audioBytes;
}

BlockInfo GopBlockSource::First()
{
    return FindFrom(start_);
}

uint64_t GopBlockSource::WrapStart()
{
    if (!ring_)
        return kNoBlock;
    if (!wrapKnown_) {
        // Wrapped when a block lies before the oldest one.
        wrapKnown_ = true;
        const BlockInfo oldest = First();
        const BlockInfo front = FindFrom(0);
        if (oldest.Valid() && front.Valid() && front.offset < oldest.offset)
            wrap_ = oldest.offset;
    }
    return wrap_;
}

BlockInfo GopBlockSource::PhysicalAfter(const BlockInfo& block)
{
    return BlockSource::After(block);
}

BlockInfo GopBlockSource::After(const BlockInfo& block)
{
    const uint64_t wrap = WrapStart();
    const BlockInfo next = PhysicalAfter(block);
    if (wrap == kNoBlock)
        return next;
    if (block.offset >= wrap)
        return next.Valid() ? next : FindFrom(0); // on past the partition's end
    // The newest part ends where the oldest block begins.
    return next.Valid() && next.offset < wrap ? next : BlockInfo{};
}

BlockInfo GopBlockSource::At(uint64_t offset)
{
    return ReadOpening(offset);
}

BlockInfo GopBlockSource::FindFrom(uint64_t offset)
{
    if (offset >= file_->Size())
        return {};
    uint64_t position = RoundUpToSector(offset);
    uint64_t searched = 0;
    while (position < file_->Size() && searched < kMaxSearchBytes) {
        const size_t got = file_->ReadAt(position, window_.data(), window_.size());
        if (got < kSectorSize)
            break;
        for (size_t at = 0; at + kSectorSize <= got; at += kSectorSize) {
            if (!IsBlockOpening(window_.data() + at, kFrameHeaderLong))
                continue;
            const BlockInfo candidate = ReadOpening(position + at);
            if (candidate.Valid() && Confirmed(candidate))
                return candidate;
        }
        uint64_t next = position + got / kSectorSize * kSectorSize;
        searched += next - position;
        // A window without a block: recording may continue further on.
        if (nextSegment_) {
            const uint64_t segment = RoundUpToSector(nextSegment_(position));
            if (segment > next) {
                next = segment;
                searched = 0;
            }
        }
        position = next;
    }
    return {};
}

BlockInfo GopBlockSource::Last()
{
    const uint64_t wrap = WrapStart();
    if (wrap != kNoBlock) {
        const BlockInfo newest = PhysicalBefore(At(wrap));
        if (newest.Valid())
            return newest;
    }
    return PhysicalLast();
}

BlockInfo GopBlockSource::PhysicalLast()
{
    // Blocks are at most 512,000 bytes long, so the last one starts within
    // the last window; earlier windows are searched only when it holds none.
    const uint64_t size = file_->Size() / kSectorSize * kSectorSize;
    uint64_t windowEnd = size;
    while (windowEnd > 0 && size - windowEnd < kMaxSearchBytes) {
        const uint64_t from = windowEnd > kWindowBytes ? windowEnd - kWindowBytes : 0;
        BlockInfo block = FindFrom(from);
        if (block.Valid() && block.offset < windowEnd) {
            // Walk to the last block of the chain.
            for (;;) {
                const BlockInfo next = block.next < file_->Size() ? ReadOpening(block.next) : BlockInfo{};
                if (!next.Valid())
                    return block;
                block = next;
            }
        }
        windowEnd = from;
    }
    return {};
}

BlockInfo GopBlockSource::Before(const BlockInfo& block)
{
    const uint64_t wrap = WrapStart();
    if (wrap == kNoBlock || !block.Valid())
        return PhysicalBefore(block);
    if (block.offset == wrap)
        return {}; // the oldest
    const BlockInfo previous = PhysicalBefore(block);
    if (block.offset > wrap || previous.Valid())
        return previous;
    return PhysicalLast(); // back past the partition's start
}

BlockInfo GopBlockSource::PhysicalBefore(const BlockInfo& block)
{
    if (!block.Valid() || block.offset == 0)
        return {};
    uint32_t previousLength = 0;
    if (!ReadOpening(block.offset, &previousLength).Valid())
        return {};
    const uint64_t rounded = RoundUpToSector(previousLength);
    if (previousLength > 0 && rounded <= block.offset) {
        const BlockInfo candidate = ReadOpening(block.offset - rounded);
        if (candidate.Valid() && candidate.next == block.offset)
            return candidate;
    }
    // The length the block names is wrong (a damaged header): look for a
    // block that ends where this one starts, within one block's reach.
    const uint64_t from = block.offset > kBlockLengthMax + kSectorSize ? block.offset - kBlockLengthMax - kSectorSize : 0;
    for (uint64_t at = RoundUpToSector(from); at < block.offset; at += kSectorSize) {
        const BlockInfo candidate = ReadOpening(at);
        if (candidate.Valid() && candidate.next == block.offset)
            return candidate;
    }
    return {};
}

size_t GopBlockSource::ReadRecords(const BlockInfo& block, uint8_t* out)
{
    if (!block.Valid() || block.recordBytes > kMaxBlockBytes)
        return 0;
    return file_->ReadAt(block.offset, out, block.recordBytes);
}

size_t GopBlockSource::ReadAudio(const BlockInfo& block, uint8_t* out)
{
    if (!block.Valid() || block.audioBytes == 0 || block.audioBytes > kMaxBlockAudioBytes)
        return 0; // longer sound than this is not the block's own
    return file_->ReadAt(block.offset + block.recordBytes, out, block.audioBytes);
}

} // namespace tarnvik
