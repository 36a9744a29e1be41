// Drives Quorlin_H264_Dec over a stream of access units the way the viewer
// does: result 1 calls again, -5 re-creates the decoder and calls again,
// 0 and 5 deliver a picture (5: call again for the next one). From two
// threads on the library gives each picture out one access unit late; an
// end-of-stream unit (Flush), given at the end, before the decoder is
// re-created and before the picture size changes, hands out the one it
// holds. Used by qldec and by the decoder tests.
#pragma once

#include "AnnexB.h"
#include "Quorlin_H264_Dec.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qldec {

struct DecodeOutcome {
    int32_t lastResult = 0;
    int32_t lastStatus = 0;
    int pictures = 0;
    bool refused = false;       // the parameter setup returned -6
    bool gaveUp = false;        // the call limit per access unit was reached
    bool initFailed = false;    // re-creating the decoder after -5 failed
    bool guardBroken = false;   // the library wrote past the picture's size
};

class StreamDecoder {
public:
    // Calls per access unit before the decoder is given up on for that unit:
    // a stream whose parameter sets keep changing inside one access unit
    // would otherwise alternate between 1 and -5 forever.
    static constexpr int kMaxCallsPerAccessUnit = 16;

    // exactGuard: the guard zone starts right after the picture size that
    // qldec read from the SPS; otherwise after the coded size that the
    // library reported (for corrupted streams, whose SPS qldec and the core
    // may read differently).
    StreamDecoder(int threads, int outputFormat, bool exactGuard = true);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // QL_H264dec_Init; false when it failed.
    bool Open();

    // Tells the size of the pictures that follow from an SPS NAL unit
    // (header byte first) about to be handed to the library.
    void NoteSps(const uint8_t* unit, size_t size);

    // One access unit with 4-byte start codes. onPicture receives each
    // picture in the output format at the displayed size.
    using PictureSink = std::function<void(const uint8_t* picture, size_t bytes)>;
    DecodeOutcome Decode(const uint8_t* accessUnit, size_t size, const PictureSink& onPicture);
    // The end of the stream: the picture the library still holds.
    DecodeOutcome Flush(const PictureSink& onPicture);

    const DecoderHandle& Handle() const { return handle_; }
    int Width() const { return size_.width; }
    int Height() const { return size_.height; }

private:
    size_t PictureBytes() const;
    size_t GuardStart() const;
    void EnsureOutputRoom();

    DecoderHandle handle_{};
    bool exactGuard_ = true;
    SpsPictureSize size_{};
    SpsPictureSize nextSize_{};  // from the SPS noted last
    bool sizeChanges_ = false;   // with the next access unit
    int maxCodedWidth_ = 0;
    int maxCodedHeight_ = 0;
    std::vector<uint8_t> output_;
};

// Bytes of one picture of width x height in an output format (0 to 3).
size_t PictureBytesFor(int format, int width, int height);

} // namespace qldec
