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
    // The next picture in output order, or null. It stays valid until the
    // next call of any engine operation.
    H264DecoderFrame* TakeOutput();
    // Hands the previous output picture back for reuse.
    void ReleaseHandedOut();
    bool PictureInProgress() const { return current_ != nullptr; }
    // See H264VideoDecoder::RunInParts.
    void RunInParts(bool split, const std::function<void(int part, int parts)>& work);

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
    void Reconstruct(const MacroblockWork& work);
    void FillLostMacroblocks(const PicturePlanes& picture);

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
    std::vector<MbInfo> mbs_;
    std::vector<SliceFilterParams> sliceParams_;
    std::vector<uint8_t> sliceGroupMap_;

    PicturePlanes planes_{};                   // of current_
    std::deque<std::vector<RefPicture>> refLists_; // one per slice of current_, never moving
    PictureDeblocker deblocker_;
    MacroblockWork work_; // the one record when this thread reconstructs
    static constexpr size_t kPipelineMinMbs = 45 * 36; // D1
    bool pipelined_ = false; // the current picture goes through reconstruction_
    // What the macroblocks of lost slices are copied from: the first
    // reference of the picture's first P slice (none: they are grey).
    PicturePlanes lostMbSource_{};

    mutable std::mutex schedulerLock_; // guards the error flag
    bool errorFlag_ = false;

    // With more than one thread, reconstruction and deblocking run on a
    // thread of their own. Last: it stops before the pictures go away.
    std::unique_ptr<ReconstructionThread> reconstruction_;
};

} // namespace QLMedia
