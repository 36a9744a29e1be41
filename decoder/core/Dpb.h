// The decoded picture buffer: picture storage, picture order counts
// (clause 8.2.1), reference picture lists (8.2.4) and reference marking
// (8.2.5) for frames.
#pragma once

#include "Framework.h"
#include "ParameterSets.h"
#include "Picture.h"
#include "SliceDecoder.h"
#include "SliceHeader.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace QLMedia {

// H264DecYUVBufferPadded: the planes of one picture, from the codec's allocator.
class H264DecYUVBufferPadded {
public:
    H264DecYUVBufferPadded() = default;
    // Not copied: two copies would free the same block.
    H264DecYUVBufferPadded(const H264DecYUVBufferPadded&) = delete;
    H264DecYUVBufferPadded& operator=(const H264DecYUVBufferPadded&) = delete;
    virtual ~H264DecYUVBufferPadded() { Free(); }
    // -879 for a bit depth outside 8..16, 10031 for a chroma format outside 0..3.
    int32_t Allocate(MemoryAllocator* allocator, int width, int height, int bitDepth, int chromaFormat);
    void Free();
    const PicturePlanes& Planes() const { return planes_; }

private:
    MemoryAllocator* allocator_ = nullptr;
    uint32_t memId_ = 0;
    size_t size_ = 0;
    int bitDepth_ = 0;
    int chromaFormat_ = 0;
    PicturePlanes planes_;
};

class H264DecYUVWorkSpace : public H264DecYUVBufferPadded {};

// A picture in the decoded picture buffer with its reference and output state.
class H264DecoderFrame : public H264DecYUVWorkSpace {
public:
    int poc = 0;
    int topPoc = 0;
    int bottomPoc = 0;
    int frameNum = 0;
    int frameNumWrap = 0;
    int longTermFrameIdx = 0;
    bool shortTermRef = false;
    bool longTermRef = false;
    bool neededForOutput = false;
    bool nonExisting = false;
    bool decoding = false;   // the picture being decoded
    bool handedOut = false;  // the caller still reads it until the next call
    // Decoded and waiting to be given out, while the reconstruction thread
    // may still be finishing its samples: they are final once that thread
    // has consumed readyAt records.
    bool queued = false;
    uint64_t readyAt = 0;
    uint64_t decodeOrder = 0; // pictures of equal order count go out in decoding order
    // What the caller is shown of it: the SPS it was decoded with may no
    // longer be the active one when it is given out.
    int cropX = 0, cropY = 0, displayWidth = 0, displayHeight = 0;
    double time = -1.0;

    bool IsRef() const { return shortTermRef || longTermRef; }
    bool InUse() const { return IsRef() || neededForOutput || decoding || handedOut || queued; }
    // Forgets the picture; the planes stay allocated for the next one.
    void ResetState()
    {
        poc = topPoc = bottomPoc = frameNum = frameNumWrap = longTermFrameIdx = 0;
        shortTermRef = longTermRef = neededForOutput = nonExisting = decoding = handedOut = queued = false;
        readyAt = decodeOrder = 0;
        time = -1.0;
    }
};

class H264DecoderFrameExtension : public H264DecoderFrame {};

class DecodedPictureBuffer {
public:
    // Takes the picture size of the SPS and the most frames the buffer may
    // hold (at least 1), dropping every picture. Frames of another size go;
    // frames of this size stay for reuse, up to the new limit.
    void Configure(MemoryAllocator* allocator, const SequenceParameterSet& sps, int limit);
    void Clear();
    // A free frame for a new picture, or null when every frame is in use and
    // the limit is reached (or a new frame cannot be allocated). Frames are
    // allocated here, one at a time, as the stream needs them, and kept.
    H264DecoderFrame* FreeFrame();
    // Frames allocated so far.
    int FrameCount() const { return int(frames_.size()); }

    // Picture order count of the picture whose first slice is `sh`.
    void ComputePoc(const SequenceParameterSet& sps, const SliceHeader& sh, H264DecoderFrame& frame);
    // Handles a gap in frame_num before the picture of `sh` (clause 8.2.5.2).
    void FillFrameNumGap(const SequenceParameterSet& sps, const SliceHeader& sh);
    // List 0 of a P slice: initialised and modified.
    int32_t BuildRefList(const SequenceParameterSet& sps, const SliceHeader& sh, std::vector<RefPicture>& list);
    // Marks the decoded picture and updates the state for the next one.
    void MarkDecoded(const SequenceParameterSet& sps, const SliceHeader& sh, H264DecoderFrame& frame);

    // The picture waiting for output with the smallest POC, or null.
    H264DecoderFrame* NextOutput();
    // Drops every reference and output state (an IDR with no_output_of_prior_pics, or an error).
    void ReleaseAll();
    // The caller has finished reading the pictures handed out.
    void ReleaseHandedOut();

private:
    void SlidingWindow(const SequenceParameterSet& sps);
    void ApplyMemoryOperations(const SequenceParameterSet& sps, const SliceHeader& sh, H264DecoderFrame& frame);
    int NumRefFrames() const;

    std::vector<std::unique_ptr<H264DecoderFrameExtension>> frames_;
    // Pictures queued or handed out when the buffer was configured anew:
    // kept, outside the buffer, until the caller has them.
    std::vector<std::unique_ptr<H264DecoderFrameExtension>> retired_;
    MemoryAllocator* allocator_ = nullptr;
    int width_ = 0; // luma samples, whole macroblocks
    int height_ = 0;
    int limit_ = 0;
    // State carried from one picture to the next.
    int prevPocMsb_ = 0;
    int prevPocLsb_ = 0;
    int prevFrameNumOffset_ = 0;
    int prevFrameNum_ = 0;
    int prevRefFrameNum_ = 0;
    bool prevHadMmco5_ = false;
    bool prevRefHadMmco5_ = false;
    int prevRefTopPoc_ = 0;
    int frameNumOffset_ = 0;
    int maxLongTermFrameIdx_ = -1; // -1: no long-term frame indices
    uint64_t decoded_ = 0;          // pictures marked decoded
};

} // namespace QLMedia
