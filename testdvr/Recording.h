// What the test DVR has "recorded" and plays back by time: the records of a
// stored `.DVR` backup, or the bundled clips as if every channel had been
// recorded from a fixed start time. Either way the recording is a run of
// instants (one per picture period, in time order), each holding the frame
// blocks (frame header, picture, audio) of the channels recorded then.
#pragma once

#include "Media.h"

#include "dvrformat/FrameHeader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testdvr {

inline constexpr size_t kNoInstant = ~size_t(0);

class Recording {
public:
    virtual ~Recording() = default;

    virtual size_t InstantCount() const = 0;
    // DvrTime seconds and milliseconds of an instant.
    virtual uint32_t Time(size_t instant) const = 0;
    virtual int Milliseconds(size_t instant) const = 0;
    // The frame block of `channel` at `instant`; false when the channel has
    // no picture there. `key` tells whether the picture is a key picture.
    virtual bool Frame(size_t instant, int channel, std::vector<uint8_t>& block, bool& key) const = 0;
    // Channels that have pictures (bit n = channel n).
    virtual uint32_t ChannelMask() const = 0;

    // The first instant at or after `time` (DvrTime seconds); the first
    // instant for a time before the recording; kNoInstant after its end.
    size_t Find(uint32_t time) const;
    // The last instant at or before `instant` where `channel` has a key
    // picture, from which the channel can be decoded up to `instant`;
    // kNoInstant when there is none.
    size_t KeyInstant(size_t instant, int channel) const;
};

// Reads every record of a `.DVR` backup (GopBlocks on 512-byte boundaries,
// records of 40-byte frame headers). False with a reason when the file
// cannot be read or holds no record.
std::unique_ptr<Recording> LoadDvrFile(const std::string& path, std::string& error);

// The clips as a recording: channel c plays `clips[c % n]` from its first
// picture, `framesPerSecond` pictures a second for `seconds` seconds from
// `start` (DvrTime), with frame headers of the given kind and type word.
struct ClipRecordingSettings {
    uint32_t start = 0;
    int seconds = 3600;
    int channels = 16;
    int framesPerSecond = 25;
    int codecKind = 3;
    uint32_t typeWord = 0x2200;
};
std::unique_ptr<Recording> RecordingOfClips(const std::vector<Clip>& clips, const ClipRecordingSettings& settings);

// The frame header of one picture without audio, sent live or recorded.
dvrformat::FrameHeader FrameHeaderFor(const Clip& clip, const Picture& picture, int channel, int kind,
                                      uint32_t typeWord, uint8_t sequence, uint32_t time, uint16_t milliseconds,
                                      int framesPerSecond);
// The frame block of one picture (its header, then the picture), as recorded.
void WriteFrameBlock(const Clip& clip, const Picture& picture, int channel, int kind, uint32_t typeWord,
                     uint8_t sequence, uint32_t time, uint16_t milliseconds, int framesPerSecond,
                     std::vector<uint8_t>& block);

} // namespace testdvr
