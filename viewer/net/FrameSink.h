// The decode path as the receive paths see it: the channel renderer parses
// each frame header and decodes the frame into the pane of its channel.
// Live reception (network thread) and the players call it; the renderer
// lives with the display. Calls come from one frame-delivering thread at a
// time, under the caller's decode lock where the caller says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tarnvik {

// The frame parsed last.
struct FrameInfo {
    int channel = -1;
    int secondChannel = -1;
    int codec = 1;       // 1 H.264, 0 JPEG
    int pictureType = 0; // 0 predicted, else key
    bool evenField = false;
    int sizeClass = 1;
    int resolutionCode = 0;
    uint32_t videoLength = 0;
    uint32_t audioLength = 0;
    uint32_t recordLength = 0;
    uint32_t time = 0;
    int milliseconds = 0;
    int frameRate = 0;
    int audioInput = -1;
    std::string timeText; // "%Y-%m-%d %H:%M:%S.%03d" (or the numeric form before 1971)
};

class FrameSink {
public:
    virtual ~FrameSink() = default;

    // Parses the header at the start of a frame block of `available` bytes.
    // False when the magic is not within the first 40 bytes. frameKind: 1 a
    // video frame, 2 audio only. Learns CodecKind and the type word into
    // the program-wide state while they are unknown. skipGapCheck: readers
    // of stored streams skip the sequence-gap test.
    virtual bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) = 0;
    virtual const FrameInfo& Frame() const = 0;

    // The decodable flag of a channel (a predicted picture may be decoded).
    virtual bool IsDecodable(int channel) const = 0;
    virtual void SetDecodable(int channel) = 0;

    // Decodes the picture data of the frame parsed last into the pane of its
    // channel. channelSlot 0: the header's channel, 1: its second channel.
    // True when a picture was handed to a pane.
    virtual bool DecodeAndShow(const uint8_t* data, size_t length, int channelSlot) = 0;

    // The time text of the frame parsed last becomes its channel's pane text.
    virtual void CommitTimeText() = 0;

    // The live path's hand-over of the picture data of the frame parsed
    // last: DecodeAndShow (slot 0) and, when shown and `commitTimeText`,
    // CommitTimeText — here at once, or on a decoding thread of the sink's
    // own. `done(shown)` is called once per accepted picture, after it was
    // shown or dropped, in the order of the calls. False when the sink did
    // not take the picture (its channel has too many waiting; the sink then
    // holds the channel's predicted pictures back until its next key one);
    // `done` is not called then.
    virtual bool HandOverPicture(const uint8_t* data, size_t length, bool commitTimeText,
                                 std::function<void(bool shown)> done)
    {
        const bool shown = DecodeAndShow(data, length, 0);
        if (shown && commitTimeText)
            CommitTimeText();
        done(shown);
        return true;
    }
    // Pictures handed over and not yet decoded are dropped (their `done`
    // says not shown); returns when nothing handed over is being decoded.
    virtual void DropHandedOverPictures() {}

    // Per-channel state back to its start values (session or playback start).
    virtual void ResetChannels() = 0;
};

} // namespace tarnvik
