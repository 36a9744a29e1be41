#include "RecordFile.h"

#include "dvrformat/FrameHeader.h"
#include "dvrformat/StreamFile.h"

#include <algorithm>
#include <cstring>

namespace tarnvik {

using namespace dvrformat;

namespace {

// A block may run this long before any key picture may open the next one.
constexpr uint32_t kBlockSeconds = 2;
constexpr size_t kScanChunk = 4u << 20;

// Reads the file forward in large chunks; Peek makes `need` bytes at an
// offset available (fewer at the end of the file).
class ChunkReader {
public:
    // A small file gets a buffer of its own size, not a whole chunk.
    explicit ChunkReader(const SourceFile& file)
        : file_(file), buffer_(size_t(std::min<uint64_t>(kScanChunk, std::max<uint64_t>(file.Size(), 64))))
    {
    }

    const uint8_t* Peek(uint64_t offset, size_t need, size_t& available)
    {
        if (offset < start_ || offset + need > start_ + filled_) {
            start_ = offset;
            filled_ = file_.ReadAt(offset, buffer_.data(), buffer_.size());
        }
        const uint64_t inBuffer = offset - start_;
        available = inBuffer < filled_ ? size_t(filled_ - inBuffer) : 0;
        return buffer_.data() + inBuffer;
    }

private:
    const SourceFile& file_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

} // namespace

size_t RecordHeaderLength(const uint8_t* p)
{
    return CodecKindFromHeaderBytes(p[4], p[6]) == 3 ? kFrameHeaderLong : kFrameHeaderShort;
}

bool RecordFileSource::Open(std::unique_ptr<SourceFile> file, std::string& error, const std::atomic<bool>* cancel)
{
    file_ = std::move(file);
    scan_ = {};
    blocks_.clear();
    const uint64_t size = file_->Size();

    uint64_t offset = 0;
    uint8_t head[kStreamFileHeaderSize] = {};
    if (file_->ReadAt(0, head, sizeof head) == sizeof head) {
        const StreamFileHeader header = StreamFileHeader::Read(head);
        if (header.HasValidSignature()) {
            scan_.codecKind = header.CodecKindOr(kCodecKindUnknown);
            offset = kStreamFileHeaderSize;
        }
    }

    ChunkReader reader(*file_);
    int leadChannel = -1;
    BlockInfo block;
    auto closeBlock = [&](uint64_t end) {
        if (!block.Valid())
            return;
        block.next = end;
        block.recordBytes = uint32_t(end - block.offset);
        blocks_.push_back(block);
        block = {};
    };

    while (offset + kFrameHeaderShort <= size) {
        if (cancel && cancel->load())
            break;
        size_t available = 0;
        const uint8_t* p = reader.Peek(offset, kFrameHeaderLong + 1024, available);
        if (available < kFrameHeaderShort)
            break;
        if (std::memcmp(p, kFrameMagic, 4) != 0) {
            // Garbage between records: go on at the next magic.
            const uint8_t* end = p + available;
            const uint8_t* found = std::search(p + 1, end, kFrameMagic, kFrameMagic + 4);
            offset += found == end ? (available > 3 ? available - 3 : 1) : uint64_t(found - p);
            continue;
        }
        const size_t headerLength = RecordHeaderLength(p);
        const FrameHeader h = FrameHeader::Read(p, available);
        const uint64_t total = h.recordLength;
        if (total <= headerLength || offset + total > size ||
            uint64_t(h.videoLength) + h.audioLength > total - headerLength) {
            offset += 1;
            continue;
        }
        if (scan_.codecKind == kCodecKindUnknown)
            scan_.codecKind = CodecKindFromHeaderBytes(h.kind, uint8_t(h.typeWord >> 8));
        if (leadChannel < 0 && h.IsKeyPicture())
            leadChannel = h.channel;
        if (scan_.audioChannel < 0 && h.audioLength > 0)
            scan_.audioChannel = h.channel;
        const bool opens = h.IsKeyPicture() && block.Valid() &&
                           (h.channel == leadChannel || h.time >= block.time + kBlockSeconds);
        if (opens || (block.Valid() && offset + total - block.offset > kMaxBlockBytes))
            closeBlock(offset);
        if (!block.Valid()) {
            block.offset = offset;
            block.time = h.time;
        }
        if (h.channel == scan_.audioChannel)
            block.audioBytes = uint32_t(std::min<uint64_t>(uint64_t(block.audioBytes) + h.audioLength, kAudioBufferBytes));
        offset += total;
    }
    closeBlock(offset);
    if (blocks_.empty()) {
        error = "The file holds no video records.";
        return false;
    }
    return true;
}

BlockInfo RecordFileSource::First()
{
    return blocks_.empty() ? BlockInfo{} : blocks_.front();
}

BlockInfo RecordFileSource::Last()
{
    return blocks_.empty() ? BlockInfo{} : blocks_.back();
}

BlockInfo RecordFileSource::At(uint64_t offset)
{
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), offset,
                               [](const BlockInfo& b, uint64_t o) { return b.offset < o; });
    return it != blocks_.end() && it->offset == offset ? *it : BlockInfo{};
}

BlockInfo RecordFileSource::FindFrom(uint64_t offset)
{
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), offset,
                               [](const BlockInfo& b, uint64_t o) { return b.offset < o; });
    return it != blocks_.end() ? *it : BlockInfo{};
}

BlockInfo RecordFileSource::Before(const BlockInfo& block)
{
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), block.offset,
                               [](const BlockInfo& b, uint64_t o) { return b.offset < o; });
    return it != blocks_.begin() && !blocks_.empty() ? *(it - 1) : BlockInfo{};
}

size_t RecordFileSource::ReadAudio(const BlockInfo& block, uint8_t* out)
{
    if (!block.Valid() || block.audioBytes == 0 || block.recordBytes > kMaxBlockBytes)
        return 0;
    audioScratch_.resize(kMaxBlockBytes);
    const size_t got = file_->ReadAt(block.offset, audioScratch_.data(), block.recordBytes);
    size_t filled = 0;
    size_t at = 0;
    // The records were checked at open; they are walked by their lengths,
    // and anything that no longer fits ends the walk.
    while (at + kFrameHeaderShort <= got && filled < kAudioBufferBytes) {
        const uint8_t* p = audioScratch_.data() + at;
        if (std::memcmp(p, kFrameMagic, 4) != 0) {
            ++at;
            continue;
        }
        const size_t headerLength = RecordHeaderLength(p);
        const FrameHeader h = FrameHeader::Read(p, got - at);
        if (h.recordLength <= headerLength || h.recordLength > got - at) {
            at += 4;
            continue;
        }
        const size_t audioAt = headerLength + h.videoLength;
        if (h.channel == scan_.audioChannel && h.audioLength > 0 && audioAt + h.audioLength <= h.recordLength) {
            const size_t n = std::min<size_t>(h.audioLength, kAudioBufferBytes - filled);
            std::memcpy(out + filled, p + audioAt, n);
            filled += n;
        }
        at += h.recordLength;
    }
    return filled;
}

size_t RecordFileSource::ReadRecords(const BlockInfo& block, uint8_t* out)
{
    if (!block.Valid() || block.recordBytes > kMaxBlockBytes)
        return 0;
    return file_->ReadAt(block.offset, out, block.recordBytes);
}

} // namespace tarnvik
