#include "Recording.h"

#include "dvrformat/FrameHeader.h"
#include "dvrformat/StreamFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

namespace testdvr {

using namespace dvrformat;

size_t Recording::Find(uint32_t time) const
{
    // Instants are in time order: the first whose second is not before `time`.
    size_t low = 0, high = InstantCount();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (Time(middle) < time)
            low = middle + 1;
        else
            high = middle;
    }
    return low < InstantCount() ? low : kNoInstant;
}

size_t Recording::KeyInstant(size_t instant, int channel) const
{
    if (InstantCount() == 0)
        return kNoInstant;
    std::vector<uint8_t> block;
    for (size_t i = std::min(instant, InstantCount() - 1) + 1; i-- > 0;) {
        bool key = false;
        if (Frame(i, channel, block, key) && key)
            return i;
    }
    return kNoInstant;
}

FrameHeader FrameHeaderFor(const Clip& clip, const Picture& picture, int channel, int kind, uint32_t typeWord,
                           uint8_t sequence, uint32_t time, uint16_t milliseconds, int framesPerSecond)
{
    FrameHeader fh;
    fh.kind = uint8_t(kind);
    fh.typeWord = uint16_t(typeWord);
    fh.sequence = sequence;
    fh.channel = uint8_t(channel);
    fh.resolution = uint8_t(ResolutionCodeFor(clip.width, clip.height));
    fh.videoLength = uint32_t(picture.bytes.size());
    fh.recordLength = uint32_t(FrameHeaderLength(kind) + picture.bytes.size());
    fh.time = time;
    fh.milliseconds = milliseconds;
    fh.codec = clip.h264 ? 1 : 0;
    fh.pal = IsPalSize(clip.width, clip.height);
    fh.pictureType = picture.key ? 1 : 0;
    fh.frameRate = uint8_t(framesPerSecond);
    fh.fullHeight = true;
    return fh;
}

void WriteFrameBlock(const Clip& clip, const Picture& picture, int channel, int kind, uint32_t typeWord,
                     uint8_t sequence, uint32_t time, uint16_t milliseconds, int framesPerSecond,
                     std::vector<uint8_t>& block)
{
    const size_t headerLength = FrameHeaderLength(kind);
    const FrameHeader fh =
        FrameHeaderFor(clip, picture, channel, kind, typeWord, sequence, time, milliseconds, framesPerSecond);
    block.resize(headerLength + picture.bytes.size());
    fh.Write(block.data(), headerLength);
    std::memcpy(block.data() + headerLength, picture.bytes.data(), picture.bytes.size());
}

namespace {

// Records of a backup file, grouped by their time into instants.
class FileRecording : public Recording {
public:
    struct Record {
        size_t offset = 0;
        uint32_t length = 0;
        int channel = 0;
        bool key = false;
    };
    struct Instant {
        uint32_t time = 0;
        int milliseconds = 0;
        std::map<int, Record> records; // by channel
    };

    std::vector<uint8_t> data;
    std::vector<Instant> instants;
    uint32_t mask = 0;

    size_t InstantCount() const override { return instants.size(); }
    uint32_t Time(size_t i) const override { return instants[i].time; }
    int Milliseconds(size_t i) const override { return instants[i].milliseconds; }
    uint32_t ChannelMask() const override { return mask; }
    bool Frame(size_t i, int channel, std::vector<uint8_t>& block, bool& key) const override
    {
        const auto found = instants[i].records.find(channel);
        if (found == instants[i].records.end())
            return false;
        const Record& r = found->second;
        block.assign(data.begin() + long(r.offset), data.begin() + long(r.offset + r.length));
        key = r.key;
        return true;
    }
};

// Backups handed to the test DVR are test material; anything larger is
// refused rather than read into memory.
constexpr std::streamoff kMaxFileBytes = std::streamoff(1) << 30;

} // namespace

std::unique_ptr<Recording> LoadDvrFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return nullptr;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxFileBytes) {
        error = path + ": not a backup of a usable size";
        return nullptr;
    }
    auto recording = std::make_unique<FileRecording>();
    std::vector<uint8_t>& data = recording->data;
    data.resize(size_t(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(data.data()), size)) {
        error = "cannot read " + path;
        return nullptr;
    }

    // Walk the blocks: each opens on a sector boundary and names its length;
    // its records follow one another up to the block's audio.
    std::map<uint64_t, FileRecording::Instant> byTime;
    for (size_t offset = 0; offset + kFrameHeaderLong <= data.size();) {
        const int at = FindFrameMagic(data.data() + offset, kFrameHeaderLong);
        const FrameHeader opening =
            at < 0 ? FrameHeader{} : FrameHeader::Read(data.data() + offset + size_t(at), data.size() - offset - size_t(at));
        if (at < 0 || opening.blockLength <= kFrameHeaderLong || opening.blockLength >= kBlockLengthMax ||
            offset + opening.blockLength > data.size()) {
            offset += kSectorSize;
            continue;
        }
        const uint32_t audio = opening.audioBlockLength <= opening.blockLength ? opening.audioBlockLength : 0;
        const size_t end = offset + opening.blockLength - audio;
        size_t cursor = offset + size_t(at);
        while (cursor + kFrameHeaderLong <= end) {
            const FrameHeader h = FrameHeader::Read(data.data() + cursor, end - cursor);
            if (std::memcmp(data.data() + cursor, kFrameMagic, 4) != 0 || h.recordLength <= kFrameHeaderLong ||
                h.recordLength > end - cursor)
                break;
            FileRecording::Instant& instant = byTime[uint64_t(h.time) * 1000 + h.milliseconds];
            instant.time = h.time;
            instant.milliseconds = h.milliseconds;
            instant.records[h.channel & 15] = {cursor, h.recordLength, h.channel & 15, h.IsKeyPicture()};
            recording->mask |= 1u << (h.channel & 15);
            cursor += h.recordLength;
        }
        offset += RoundUpToSector(opening.blockLength);
    }
    if (byTime.empty()) {
        error = path + ": no recorded pictures found";
        return nullptr;
    }
    for (auto& [key, instant] : byTime)
        recording->instants.push_back(std::move(instant));
    return recording;
}

namespace {

class ClipRecording : public Recording {
public:
    ClipRecording(const std::vector<Clip>& clips, const ClipRecordingSettings& settings)
        : clips_(clips), settings_(settings)
    {
    }
    size_t InstantCount() const override { return size_t(settings_.seconds) * size_t(settings_.framesPerSecond); }
    uint32_t Time(size_t i) const override { return settings_.start + uint32_t(i / size_t(settings_.framesPerSecond)); }
    int Milliseconds(size_t i) const override
    {
        return int(i % size_t(settings_.framesPerSecond)) * 1000 / settings_.framesPerSecond;
    }
    uint32_t ChannelMask() const override
    {
        return settings_.channels >= 16 ? 0xFFFF : (1u << settings_.channels) - 1;
    }
    bool Frame(size_t i, int channel, std::vector<uint8_t>& block, bool& key) const override
    {
        if (!(ChannelMask() & (1u << channel)) || clips_.empty())
            return false;
        const Clip& clip = clips_[size_t(channel) % clips_.size()];
        const Picture& picture = clip.pictures[i % clip.pictures.size()];
        key = picture.key;
        WriteFrameBlock(clip, picture, channel, settings_.codecKind, settings_.typeWord, uint8_t(i % 255), Time(i),
                        uint16_t(Milliseconds(i)), settings_.framesPerSecond, block);
        return true;
    }

private:
    const std::vector<Clip>& clips_;
    const ClipRecordingSettings settings_;
};

} // namespace

std::unique_ptr<Recording> RecordingOfClips(const std::vector<Clip>& clips, const ClipRecordingSettings& settings)
{
    return std::make_unique<ClipRecording>(clips, settings);
}

} // namespace testdvr
