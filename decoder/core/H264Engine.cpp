#include "H264Engine.h"

#include "Deblock.h"
#include "SliceDecoder.h"

#include <algorithm>
#include <cstring>

namespace QLMedia {

H264Engine::H264Engine(MemoryAllocator* allocator, int threads) : allocator_(allocator)
{
    if (threads > 1)
        reconstruction_ = std::make_unique<ReconstructionThread>(
            [this](const MacroblockWork& w) {
                ReconstructMacroblock(w, mbs_[size_t(w.addr)], planes_, activeSps_.widthMbs);
                deblocker_.MarkReconstructed(w.addr);
            },
            [this] { return deblocker_.FilterAvailable(); });
}

const SequenceParameterSet* H264Engine::ActiveSps() const
{
    return haveActiveSps_ ? &activeSps_ : lastSps_;
}

bool H264Engine::ErrorFlag() const
{
    std::lock_guard<std::mutex> guard(schedulerLock_);
    return errorFlag_;
}

void H264Engine::SetErrorFlag(bool value)
{
    std::lock_guard<std::mutex> guard(schedulerLock_);
    errorFlag_ = value;
}

int32_t H264Engine::AddAccessUnit(const uint8_t* data, size_t size)
{
    SplitNalUnits(data, size, units_);
    int32_t result = QL_OK;
    for (const NalUnit& nal : units_) {
        switch (nal.type) {
        case 1:
        case 5: {
            if (nal.type == 5)
                SetErrorFlag(false);
            if (ErrorFlag()) {
                FinishPicture();
                break;
            }
            int32_t status;
            try {
                status = DecodeSlice(nal);
            } catch (const h264_exception&) {
                status = H264_ERR_TASK_EXCEPTION;
            } catch (...) {
                status = H264_ERR_TASK_OTHER;
            }
            if (status != QL_OK) {
                // No concealment: the picture is dropped and decoding
                // resumes at the next IDR picture.
                // Callers see a failure whatever the slice's own code was.
                SetErrorFlag(true);
                DropPicture();
                result = QL_ERR_FAILED;
            }
            break;
        }
        case 7: {
            ExtractRbsp(nal, rbsp_);
            BitReader br(rbsp_.data(), rbsp_.size());
            auto sps = std::make_unique<SequenceParameterSet>();
            if (ParseSps(br, *sps) == QL_OK) {
                auto& slot = sps_[size_t(sps->id)];
                slot = std::move(sps);
                lastSps_ = slot.get();
            }
            break;
        }
        case 8: {
            ExtractRbsp(nal, rbsp_);
            BitReader br(rbsp_.data(), rbsp_.size());
            auto pps = std::make_unique<PictureParameterSet>();
            if (ParsePps(br, sps_, *pps) == QL_OK) {
                // A picture in progress keeps the set it started with.
                if (current_ && pps->id == currentPpsId_)
                    FinishPicture();
                pps_[size_t(pps->id)] = std::move(pps);
            }
            break;
        }
        case 9: // access unit delimiter
            FinishPicture();
            break;
        default:
            break;
        }
    }
    return result;
}

bool H264Engine::StartsNewPicture(const SliceHeader& sh) const
{
    const SliceHeader& f = firstSlice_;
    return sh.frameNum != f.frameNum || sh.ppsId != f.ppsId || (sh.nalRefIdc == 0) != (f.nalRefIdc == 0) ||
           sh.idr != f.idr || (sh.idr && sh.idrPicId != f.idrPicId) || sh.pocLsb != f.pocLsb ||
           sh.deltaPocBottom != f.deltaPocBottom || sh.deltaPoc[0] != f.deltaPoc[0] || sh.deltaPoc[1] != f.deltaPoc[1];
}

int32_t H264Engine::ActivateSps(const SequenceParameterSet& sps)
{
    const bool sizeChanged = !haveActiveSps_ || sps.widthMbs != activeSps_.widthMbs ||
                             sps.heightMbs != activeSps_.heightMbs || DpbSizeFor(sps) != DpbSizeFor(activeSps_) ||
                             sps.maxNumRefFrames != activeSps_.maxNumRefFrames;
    activeSps_ = sps;
    haveActiveSps_ = true;
    if (!sizeChanged)
        return QL_OK;
    dpbSize_ = std::max(DpbSizeFor(sps), sps.maxNumRefFrames);
    mbs_.assign(size_t(sps.widthMbs) * size_t(sps.heightMbs), MbInfo{});
    // The reconstruction thread, which also deblocks, reads the slice table
    // while slices are added, so it must never move during a picture: every slice added either decodes
    // a macroblock of its own or fails and ends the picture, and the end of
    // a picture with lost slices adds one more.
    sliceParams_.reserve(mbs_.size() + 2);
    // Frames are allocated as the stream needs them (its references, the
    // picture being decoded, the one the caller is reading, pictures waiting
    // for output), up to the level's buffer size plus those two. No thread
    // holds a picture of its own.
    dpb_.Configure(allocator_, sps, dpbSize_ + 2);
    return QL_OK;
}

int32_t H264Engine::StartPicture(const SequenceParameterSet& sps, const PictureParameterSet& pps, const SliceHeader& sh)
{
    if (!haveActiveSps_ || sh.idr || sps.widthMbs != activeSps_.widthMbs || sps.heightMbs != activeSps_.heightMbs) {
        const int32_t status = ActivateSps(sps);
        if (status != QL_OK)
            return status;
    }
    if (sh.idr && !sh.noOutputOfPriorPics) {
        // Pictures before an IDR picture are never reordered past it; they
        // were handed out already, so only references are dropped here.
    }
    if (!sh.idr)
        dpb_.FillFrameNumGap(activeSps_, sh);
    H264DecoderFrame* frame = dpb_.FreeFrame();
    if (!frame)
        return QL_ERR_ALLOC;
    frame->decoding = true;
    frame->neededForOutput = false;
    frame->nonExisting = false;
    current_ = frame;
    firstSlice_ = sh;
    currentPpsId_ = pps.id;
    sliceCount_ = 0;
    decodedMbs_ = 0;
    sliceParams_.clear();
    for (MbInfo& m : mbs_)
        m.sliceNumber = -1;
    dpb_.ComputePoc(activeSps_, sh, *frame);
    lostMbSource_ = PicturePlanes{};
    planes_ = frame->Planes();
    // Handing macroblocks to the other thread costs about as much as it
    // saves below D1, so small pictures are reconstructed here.
    pipelined_ = reconstruction_ && mbs_.size() >= kPipelineMinMbs;
    refLists_.clear();
    deblocker_.Begin(planes_, mbs_.data(), activeSps_.widthMbs, activeSps_.heightMbs, sliceParams_.data(),
                     pipelined_);
    return QL_OK;
}

int32_t H264Engine::DecodeSlice(const NalUnit& nal)
{
    ExtractRbsp(nal, rbsp_);
    BitReader br(rbsp_.data(), rbsp_.size());
    SliceHeader sh;
    const SequenceParameterSet* sps = nullptr;
    const PictureParameterSet* pps = nullptr;
    int32_t status = ParseSliceHeader(br, nal.type, nal.refIdc, sps_, pps_, sh, sps, pps);
    if (status != QL_OK)
        return status;
    if (sh.redundantPicCnt > 0)
        return QL_OK; // the primary picture is decoded; redundant copies are not needed
    if (current_ && StartsNewPicture(sh))
        FinishPicture();
    if (!current_) {
        status = StartPicture(*sps, *pps, sh);
        if (status != QL_OK)
            return status;
    } else if (sps->widthMbs != activeSps_.widthMbs || sps->heightMbs != activeSps_.heightMbs) {
        return H264_ERR_SLICE_PPS_ID;
    }
    if (sliceCount_ == 0 || pps->numSliceGroups > 1)
        BuildSliceGroupMap(activeSps_, *pps, sh.sliceGroupChangeCycle, sliceGroupMap_);

    SliceContext ctx;
    ctx.sps = &activeSps_;
    ctx.pps = pps;
    ctx.header = &sh;
    ctx.mbs = mbs_.data();
    ctx.sliceNumber = sliceCount_++;
    ctx.sliceGroupMap = pps->numSliceGroups > 1 ? &sliceGroupMap_ : nullptr;
    ctx.sink = this;
    std::vector<RefPicture>& refList = refLists_.emplace_back();
    ctx.refList = &refList;
    if (sh.sliceType == kSliceP) {
        status = dpb_.BuildRefList(activeSps_, sh, refList);
        if (status != QL_OK)
            return status;
        if (!lostMbSource_.y && !refList.empty() && refList[0].identity)
            lostMbSource_ = refList[0].planes;
    }
    SliceFilterParams filter;
    filter.disableDeblockingFilterIdc = sh.disableDeblockingFilterIdc;
    filter.filterOffsetA = sh.filterOffsetA;
    filter.filterOffsetB = sh.filterOffsetB;
    filter.chromaQpIndexOffset = pps->chromaQpIndexOffset;
    sliceParams_.push_back(filter);

    int decoded = 0;
    status = DecodeSliceData(br, ctx, decoded);
    decodedMbs_ += decoded;
    if (status != QL_OK)
        return status;
    if (decodedMbs_ >= activeSps_.widthMbs * activeSps_.heightMbs)
        FinishPicture();
    return QL_OK;
}

void H264Engine::FinishPicture()
{
    if (!current_)
        return;
    H264DecoderFrame* frame = current_;
    current_ = nullptr;
    if (pipelined_)
        reconstruction_->Drain();
    if (decodedMbs_ < activeSps_.widthMbs * activeSps_.heightMbs) {
        // Slices were lost: their macroblocks are filled from the reference
        // (never left holding whatever the buffer held before, which would
        // make the picture depend on the buffer's history) and left out of
        // deblocking.
        FillLostMacroblocks(frame->Planes());
        SliceFilterParams off;
        off.disableDeblockingFilterIdc = 1;
        sliceParams_.push_back(off);
        for (MbInfo& m : mbs_)
            if (m.sliceNumber < 0) {
                m = MbInfo{};
                m.sliceNumber = int(sliceParams_.size()) - 1;
            }
    }
    deblocker_.FinishRest();
    dpb_.MarkDecoded(activeSps_, firstSlice_, *frame);
    frame->decoding = false;
    frame->neededForOutput = true;
}

void H264Engine::FillLostMacroblocks(const PicturePlanes& picture)
{
    const PicturePlanes& src = lostMbSource_;
    const bool copy = src.y && src.width == picture.width && src.height == picture.height;
    const int width = activeSps_.widthMbs;
    uint8_t* const planes[] = {picture.y, picture.cb, picture.cr};
    const uint8_t* const srcPlanes[] = {src.y, src.cb, src.cr};
    for (size_t i = 0; i < mbs_.size(); ++i) {
        if (mbs_[i].sliceNumber >= 0)
            continue;
        const int x = int(i % size_t(width)), y = int(i / size_t(width));
        for (int plane = 0; plane < 3; ++plane) {
            const int size = plane == 0 ? 16 : 8;
            const ptrdiff_t pitch = plane == 0 ? picture.lumaPitch : picture.chromaPitch;
            const ptrdiff_t srcPitch = plane == 0 ? src.lumaPitch : src.chromaPitch;
            for (int row = 0; row < size; ++row) {
                uint8_t* out = planes[plane] + (y * size + row) * pitch + x * size;
                if (copy)
                    std::memcpy(out, srcPlanes[plane] + (y * size + row) * srcPitch + x * size, size_t(size));
                else
                    std::memset(out, 128, size_t(size));
            }
        }
    }
}

MacroblockWork& H264Engine::Slot()
{
    return pipelined_ ? reconstruction_->Slot() : work_;
}

void H264Engine::Commit()
{
    if (pipelined_)
        reconstruction_->Commit();
    else
        Reconstruct(work_);
}

void H264Engine::Reconstruct(const MacroblockWork& work)
{
    ReconstructMacroblock(work, mbs_[size_t(work.addr)], planes_, activeSps_.widthMbs);
    deblocker_.Reconstructed(work.addr);
}

void H264Engine::DropPicture()
{
    if (current_ && pipelined_) {
        reconstruction_->Discard();
        deblocker_.Abandon();
    }
    if (current_)
        current_->decoding = false;
    current_ = nullptr;
}

void H264Engine::RunInParts(bool split, const std::function<void(int part, int parts)>& work)
{
    // Between pictures the other thread is idle.
    if (!split || !reconstruction_) {
        work(0, 1);
        return;
    }
    reconstruction_->RunBeside([&] { work(1, 2); }, [&] { work(0, 2); });
}

H264DecoderFrame* H264Engine::TakeOutput()
{
    H264DecoderFrame* frame = dpb_.NextOutput();
    if (frame) {
        frame->neededForOutput = false;
        frame->handedOut = true;
    }
    return frame;
}

void H264Engine::ReleaseHandedOut()
{
    dpb_.ReleaseHandedOut();
}

} // namespace QLMedia
