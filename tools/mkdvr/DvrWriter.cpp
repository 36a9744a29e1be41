#include "DvrWriter.h"

#include "Media.h"
#include "dvrformat/FrameHeader.h"
#include "storage/TimeIndex.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>

namespace tarnvik::mkdvr {

using dvrformat::FrameHeader;
using dvrformat::kFrameHeaderLong;
using dvrformat::TimeIndexEntry;

namespace {

constexpr int kPicturesPerSecond = 25;
constexpr uint32_t kAudioBytesPerSecond = 44100; // 22,050 Hz mono s16le
constexpr uint64_t kBlockLimit = 511999;         // a block must stay below it

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ValidOptions(const MkdvrOptions& o, std::string& error)
{
    if (o.channels < 1 || o.channels > 16)
        error = "channels must be 1..16";
    else if (o.seconds < 1 || o.seconds > 86400)
        error = "seconds must be 1..86400";
    else if (o.entrySeconds < 1)
        error = "entry seconds must be at least 1";
    else if (o.startTime < kEndOf1970)
        error = "the start time must lie after 1970";
    if (!error.empty())
        return false;
    uint64_t end = uint64_t(o.startTime) + uint64_t(o.seconds);
    for (const auto& [after, skip] : o.gaps) {
        if (after < 1 || after >= o.seconds || skip < 1) {
            error = "a gap N:S needs 1 <= N < seconds and S >= 1";
            return false;
        }
        end += uint64_t(skip);
    }
    if (end > UINT32_MAX) {
        error = "the recording would end after the last DvrTime";
        return false;
    }
    return true;
}

// Channel c plays clip c % n of the *.264 clips sorted by name, each second
// starting at one of its key pictures.
bool LoadClips(const std::string& mediaDir, std::vector<testdvr::Clip>& clips, std::string& error)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(mediaDir, ec))
        if (entry.path().extension() == ".264")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        error = "no .264 clips in " + mediaDir;
        return false;
    }
    for (const std::string& name : names) {
        testdvr::Clip clip;
        if (!testdvr::LoadH264Clip(mediaDir + "/" + name, clip, error))
            return false;
        bool keyed = !clip.pictures.empty() && clip.pictures.size() % kPicturesPerSecond == 0;
        for (size_t i = 0; keyed && i < clip.pictures.size(); i += kPicturesPerSecond)
            keyed = clip.pictures[i].key;
        if (!keyed) {
            error = name + " has no key picture at every 25th picture";
            return false;
        }
        for (const testdvr::Picture& p : clip.pictures)
            if (p.bytes.size() + kFrameHeaderLong > dvrformat::kMax20Bit) {
                error = name + " has a picture too large for a record";
                return false;
            }
        clips.push_back(std::move(clip));
    }
    return true;
}

// Recorded seconds (0-based) that start an index entry: the first, the
// first after each gap, and every `entrySeconds` after the last start.
std::vector<int> EntryStarts(const MkdvrOptions& o)
{
    std::vector<int> starts;
    for (int s = 0; s < o.seconds; ++s) {
        const bool afterGap =
            std::any_of(o.gaps.begin(), o.gaps.end(), [&](const auto& g) { return g.first == s; });
        if (starts.empty() || afterGap || s - starts.back() >= o.entrySeconds)
            starts.push_back(s);
    }
    return starts;
}

class RecordingWriter {
public:
    RecordingWriter(const MkdvrOptions& o, const std::vector<testdvr::Clip>& clips) : o_(o), clips_(clips) {}

    // Chooses the channel groups; false when even one channel alone per
    // block does not fit.
    bool PlanGroups(std::string& error)
    {
        for (int groups = 1; groups <= o_.channels; ++groups) {
            bool fits = true;
            for (int s = 0; fits && s < o_.seconds; ++s)
                for (int g = 0; fits && g < groups; ++g)
                    fits = BlockLength(s, GroupFirst(g, groups), GroupFirst(g + 1, groups)) < kBlockLimit;
            if (fits) {
                groups_ = groups;
                return true;
            }
        }
        error = "a second of one channel does not fit a block";
        return false;
    }

    bool Write(std::FILE* out, uint64_t base, MkdvrSummary& summary, std::string& error)
    {
        offset_ = base;
        summary.groups = groups_;
        const std::vector<int> starts = EntryStarts(o_);
        for (int s = 0; s < o_.seconds; ++s) {
            if (std::binary_search(starts.begin(), starts.end(), s))
                summary.entries.push_back(TimeIndexEntry{TimeOf(s), 0, offset_});
            for (int g = 0; g < groups_; ++g) {
                if (!WriteBlock(out, s, GroupFirst(g, groups_), GroupFirst(g + 1, groups_), error))
                    return false;
                ++summary.blocks;
            }
        }
        summary.videoBytes = offset_;
        return true;
    }

private:
    // Channels split into `groups` runs differing in size by at most one.
    int GroupFirst(int g, int groups) const { return g * o_.channels / groups; }

    const testdvr::Clip& ClipOf(int channel) const { return clips_[size_t(channel) % clips_.size()]; }
    const testdvr::Picture& PictureOf(int channel, int second, int i) const
    {
        const testdvr::Clip& clip = ClipOf(channel);
        return clip.pictures[(size_t(second) * kPicturesPerSecond + size_t(i)) % clip.pictures.size()];
    }
    uint32_t AudioBytes() const { return o_.audio ? kAudioBytesPerSecond : 0; }

    uint64_t BlockLength(int second, int first, int last) const
    {
        uint64_t length = AudioBytes();
        for (int c = first; c < last; ++c)
            for (int i = 0; i < kPicturesPerSecond; ++i)
                length += kFrameHeaderLong + PictureOf(c, second, i).bytes.size();
        return length;
    }

    uint32_t TimeOf(int second) const
    {
        uint64_t t = uint64_t(o_.startTime) + uint64_t(second);
        for (const auto& [after, skip] : o_.gaps)
            if (after <= second)
                t += uint64_t(skip);
        return uint32_t(t);
    }

    bool WriteBlock(std::FILE* out, int second, int first, int last, std::string& error)
    {
        const uint64_t length = BlockLength(second, first, last);
        block_.assign(size_t(dvrformat::RoundUpToSector(length)), 0);
        uint8_t* p = block_.data();
        for (int i = 0; i < kPicturesPerSecond; ++i) {
            for (int c = first; c < last; ++c) {
                const testdvr::Clip& clip = ClipOf(c);
                const testdvr::Picture& picture = PictureOf(c, second, i);
                FrameHeader h;
                h.kind = 3;
                h.typeWord = uint16_t(dvrformat::kTypeWord22F0);
                h.sequence = sequence_[c];
                sequence_[c] = uint8_t((sequence_[c] + 1) % 255); // 255 means "no counter"
                h.channel = uint8_t(c);
                h.resolution = uint8_t(testdvr::ResolutionCodeFor(clip.width, clip.height));
                h.videoLength = uint32_t(picture.bytes.size());
                h.recordLength = uint32_t(kFrameHeaderLong + picture.bytes.size());
                h.time = TimeOf(second);
                h.milliseconds = uint16_t(40 * i);
                h.codec = 1;
                h.pal = testdvr::IsPalSize(clip.width, clip.height);
                h.pictureType = picture.key ? 1 : 0;
                h.frameRate = kPicturesPerSecond;
                h.fullHeight = true;
                if (p == block_.data()) {
                    h.blockLength = uint32_t(length);
                    h.audioBlockLength = AudioBytes();
                    h.previousBlockLength = previousLength_ ? previousLength_ : uint32_t(length);
                }
                h.Write(p, kFrameHeaderLong);
                std::memcpy(p + kFrameHeaderLong, picture.bytes.data(), picture.bytes.size());
                p += kFrameHeaderLong + picture.bytes.size();
            }
        }
        // One second of tone, a whole number of cycles, so every block's
        // audio joins the next without a click.
        const double frequency = 300.0 + 100.0 * first;
        for (uint32_t n = 0; n < AudioBytes() / 2; ++n) {
            const auto v = int16_t(std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * frequency * n / 22050.0)));
            p[0] = uint8_t(uint16_t(v));
            p[1] = uint8_t(uint16_t(v) >> 8);
            p += 2;
        }
        if (!dvrformat::IsBlockOpening(block_.data(), kFrameHeaderLong)) {
            error = "block of second " + std::to_string(second) + " fails the block-opening rule";
            return false;
        }
        if (std::fwrite(block_.data(), 1, block_.size(), out) != block_.size()) {
            error = std::string("write failed: ") + std::strerror(errno);
            return false;
        }
        previousLength_ = uint32_t(length);
        offset_ += block_.size();
        return true;
    }

    const MkdvrOptions& o_;
    const std::vector<testdvr::Clip>& clips_;
    int groups_ = 1;
    uint64_t offset_ = 0;
    uint32_t previousLength_ = 0;
    uint8_t sequence_[16] = {};
    std::vector<uint8_t> block_;
};

// Opens `path` for writing, writes `header` (may be empty) and the
// recording's blocks from `base`.
bool WriteVideo(const MkdvrOptions& options, const std::string& path, const std::vector<uint8_t>& header,
                MkdvrSummary& summary, std::string& error)
{
    std::vector<testdvr::Clip> clips;
    if (!ValidOptions(options, error) || !LoadClips(options.mediaDir, clips, error))
        return false;
    RecordingWriter writer(options, clips);
    if (!writer.PlanGroups(error))
        return false;
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!header.empty() && std::fwrite(header.data(), 1, header.size(), out.get()) != header.size()) {
        error = "cannot write " + path;
        return false;
    }
    if (!writer.Write(out.get(), header.size(), summary, error))
        return false;
    if (std::fclose(out.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    summary.files.push_back(path);
    return true;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, MkdvrSummary& summary,
                std::string& error)
{
    File out(std::fopen(path.c_str(), "wb"));
    if (!out || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) ||
        std::fclose(out.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    summary.files.push_back(path);
    return true;
}

// Turns a partition recorded straight through into one whose ring has
// wrapped: the blocks from entry `split` on move to the partition's start,
// the older ones after them, and the entries follow their blocks.
bool WrapPartition(const std::string& path, MkdvrSummary& summary, size_t split, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint64_t at = summary.entries[split].position;
    const uint64_t start = dvrformat::kSectorSize;
    if (bytes.size() < start || at <= start || at >= bytes.size()) {
        error = "cannot wrap " + path;
        return false;
    }
    std::vector<uint8_t> wrapped(bytes.begin(), bytes.begin() + long(start));
    wrapped.insert(wrapped.end(), bytes.begin() + long(at), bytes.end());
    wrapped.insert(wrapped.end(), bytes.begin() + long(start), bytes.begin() + long(at));
    for (TimeIndexEntry& entry : summary.entries)
        entry.position = entry.position >= at ? entry.position - at + start : entry.position + (bytes.size() - at);
    summary.files.pop_back();
    return WriteBytes(path, wrapped, summary, error);
}

// A header followed by `slots` entries.
std::vector<uint8_t> IndexBytes(uint32_t oldest, uint32_t newest, const std::vector<TimeIndexEntry>& slots)
{
    std::vector<uint8_t> bytes(dvrformat::kTimeIndexHeaderSize + slots.size() * dvrformat::kTimeIndexEntrySize);
    dvrformat::TimeIndexHeader{0, oldest, newest, 0}.Write(bytes.data());
    for (size_t i = 0; i < slots.size(); ++i)
        slots[i].Write(bytes.data() + dvrformat::kTimeIndexHeaderSize + i * dvrformat::kTimeIndexEntrySize);
    return bytes;
}

// Mount table fields escape blanks, tabs, newlines and backslashes.
std::string EscapeMountField(const std::string& s)
{
    std::string out;
    for (const char ch : s) {
        if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\\') {
            char code[5];
            std::snprintf(code, sizeof code, "\\%03o", unsigned(static_cast<unsigned char>(ch)));
            out += code;
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

} // namespace

bool WriteBackup(const MkdvrOptions& options, const std::string& dvrPath, std::string& error, MkdvrSummary* summary)
{
    MkdvrSummary local;
    MkdvrSummary& s = summary ? *summary : local;
    s = MkdvrSummary{};
    if (!WriteVideo(options, dvrPath, {}, s, error))
        return false;
    return WriteBytes(IndexPathFor(dvrPath), IndexBytes(1, uint32_t(s.entries.size()), s.entries), s, error);
}

bool WriteDiskImage(const MkdvrOptions& options, const DiskLayout& layout, const std::string& folder,
                    std::string& error, MkdvrSummary* summary)
{
    MkdvrSummary local;
    MkdvrSummary& s = summary ? *summary : local;
    s = MkdvrSummary{};
    namespace fs = std::filesystem;
    if (!ValidOptions(options, error))
        return false;
    const size_t count = EntryStarts(options).size();
    const size_t slots = layout.ringSlots == 0 ? count : size_t(std::max(layout.ringSlots, 0));
    if (slots < count || layout.ringOldest < 1 || size_t(layout.ringOldest) > slots) {
        error = "the ring needs at least " + std::to_string(count) + " slots and an oldest slot within them";
        return false;
    }
    std::error_code ec;
    const std::string root = fs::absolute(folder, ec).lexically_normal().string();
    for (const char* sub : {"index", "dev", "sys"}) {
        fs::create_directories(root + "/" + sub, ec);
        if (ec) {
            error = "cannot create " + root + "/" + sub + ": " + ec.message();
            return false;
        }
    }
    std::vector<uint8_t> sector(dvrformat::kSectorSize, 0);
    dvrformat::StreamFileHeader::ForRecording(3, 0x480F).Write(sector.data());
    if (!WriteVideo(options, root + "/dev/sdz2", sector, s, error))
        return false;
    if (layout.wrapEntries > 0 &&
        (size_t(layout.wrapEntries) >= count || !WrapPartition(root + "/dev/sdz2", s, count - size_t(layout.wrapEntries), error))) {
        if (error.empty())
            error = "a wrapped ring needs fewer wrapped entries than entries";
        return false;
    }
    std::vector<TimeIndexEntry> ring(slots);
    const size_t first = size_t(layout.ringOldest) - 1;
    for (size_t j = 0; j < count; ++j)
        ring[(first + j) % slots] = s.entries[j];
    // Stale slots, in ring order after the newest: older the further back,
    // all before the oldest entry and never in 1970.
    const size_t stale = slots - count;
    for (size_t m = 0; m < stale; ++m) {
        const uint64_t back = uint64_t(stale - m) * 600;
        const uint32_t time = options.startTime - uint32_t(std::min<uint64_t>(back, options.startTime - kEndOf1970));
        ring[(first + count + m) % slots] = TimeIndexEntry{time, 0, s.entries[m % count].position};
    }
    const auto newest = uint32_t((first + count - 1) % slots + 1);
    if (!WriteBytes(root + "/index/timeindex", IndexBytes(uint32_t(layout.ringOldest), newest, ring), s, error))
        return false;

    std::vector<uint8_t> carId(100, layout.carIdZeroTerminated ? 0 : ' ');
    const size_t idBytes = std::min(layout.carId.size(), layout.carIdZeroTerminated ? size_t(99) : size_t(100));
    std::memcpy(carId.data(), layout.carId.data(), idBytes);
    const std::string mounts = "/dev/sdz1 " + EscapeMountField(root + "/index") + " vfat rw 0 0\n";
    return WriteBytes(root + "/index/CARID", carId, s, error) && WriteBytes(root + "/dev/sdz1", {}, s, error) &&
           WriteBytes(root + "/mounts", std::vector<uint8_t>(mounts.begin(), mounts.end()), s, error);
}

} // namespace tarnvik::mkdvr
