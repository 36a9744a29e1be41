// The H.264 decoding engine behind H264VideoDecoder: NAL unit dispatch,
// parameter set storage, picture assembly from slices, the decoded picture
// buffer and output order.
#pragma once

#include "Dpb.h"
#include "MacroblockPipeline.h"
#include "Framework.h"
#include "Nal.h"
#include "ParameterSets.h"
#include "SliceDecoder.h"
#include "SliceHeader.h"

#include <memory>

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace QLMedia {

class H264Engine : private MacroblockSink {
public:
    explicit H264Engine(MemoryAllocator* allocator, int threads);

    // Decodes every NAL unit of `size` bytes. Returns 0, or an error status
    // of a slice (the engine then ignores non-IDR slices until an IDR slice).
    int32_t AddAccessUnit(const uint8_t* data, size_t size);
    // Ends the picture being decoded even if slices are missing.
    void FinishPicture();
    // Forgets the picture being decoded.
    void DropPicture();
    // The next picture in output order, or null. With the reconstruction
    // thread it is the one chosen at the call before (unless `flush`, which
    // gives out what this call chooses too): that thread finishes a picture
    // while the next access unit is parsed. The picture stays valid until
    // the next call of any engine operation.
    H264DecoderFrame* TakeOutput(bool flush);
    // See H264VideoDecoder::RunInParts.
    void RunInParts(int parts, const std::function<void(int part, int parts)>& work);
    // The picture chosen at the call before (with the reconstruction
    // thread), or null; nothing new is chosen.
    H264DecoderFrame* TakeChosen();
    // Hands the previous output picture back for reuse.
    void ReleaseHandedOut();
    bool PictureInProgress() const { return current_ != nullptr; }
    // The last access unit held an end of sequence or of stream: nothing
    // follows that could be held back for.
    bool EndOfStream() const { return endOfStream_; }

    const SequenceParameterSet* ActiveSps() const;
    bool ErrorFlag() const;

private:
    int32_t DecodeSlice(const NalUnit& nal);
    int32_t StartPicture(const SequenceParameterSet& sps, const PictureParameterSet& pps, const SliceHeader& sh);
    int32_t ActivateSps(const SequenceParameterSet& sps);
    bool StartsNewPicture(const SliceHeader& sh) const;
    void SetErrorFlag(bool value);
    MacroblockWork& Slot() override;
    void Commit() override;

    // What reconstruction and deblocking read of one picture. With the
    // reconstruction thread two sets alternate: the next picture is parsed
    // into one while that thread still finishes the other.
    struct PictureTables {
        std::vector<MbInfo> mbs; // every sliceNumber -1 while no picture uses them
        std::vector<SliceFilterParams> sliceParams; // never moves during a picture
        std::deque<std::vector<RefPicture>> refLists; // one per slice, never moving
        PicturePlanes planes{};
        int widthMbs = 0, heightMbs = 0;
        // What the macroblocks of lost slices are copied from: the first
        // reference of the picture's first P slice (none: they are grey).
        PicturePlanes lostMbSource{};
        bool lost = false;   // slices were lost
        uint64_t freeAt = 0; // records the reconstruction thread consumes before they are free
    };
    // Records that are not macroblocks (MacroblockWork::addr).
    static constexpr int kPictureBegins = -1;
    static constexpr int kPictureEnds = -2;
    static constexpr int kPictureDropped = -3;

    void Reconstruct(const MacroblockWork& work);
    void CommitControl(int what);
    void EndTables(PictureTables& t);
    void FillLostMacroblocks(const PictureTables& t);

    MemoryAllocator* allocator_;
    SpsTable sps_;
    PpsTable pps_;
    const SequenceParameterSet* lastSps_ = nullptr; // the SPS stored last
    SequenceParameterSet activeSps_;
    bool haveActiveSps_ = false;
    DecodedPictureBuffer dpb_;
    int dpbSize_ = 0;
    std::vector<NalUnit> units_;
    std::vector<uint8_t> rbsp_;

    // The picture being decoded.
    H264DecoderFrame* current_ = nullptr;
    SliceHeader firstSlice_;
    int currentPpsId_ = -1;
    int sliceCount_ = 0;
    int decodedMbs_ = 0;
    std::vector<uint8_t> sliceGroupMap_;
    bool endOfStream_ = false;

    PictureTables tables_[2];
    int currentTables_ = 0; // of current_
    PictureDeblocker deblocker_;
    MacroblockWork work_; // the one record when this thread reconstructs
    // With the reconstruction thread: pictures chosen for output, given
    // out one call later.
    std::deque<H264DecoderFrame*> chosen_;

    mutable std::mutex schedulerLock_; // guards the error flag
    bool errorFlag_ = false;

    // With more than one thread, reconstruction and deblocking run on a
    // thread of their own. Last: it stops before the pictures go away.
    std::unique_ptr<ReconstructionThread> reconstruction_;
};

} // namespace QLMedia
