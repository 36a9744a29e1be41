#include "H264Engine.h"

#include "Deblock.h"
#include "SliceDecoder.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace QLMedia {

H264Engine::H264Engine(MemoryAllocator* allocator, int threads) : allocator_(allocator)
{
    if (threads > 1)
        reconstruction_ = std::make_unique<ReconstructionThread>(
            [this](const MacroblockWork& w) {
                PictureTables& t = tables_[w.tables];
                switch (w.addr) {
                case kPictureBegins:
                    deblocker_.Begin(t.planes, t.mbs.data(), t.widthMbs, t.heightMbs, t.sliceParams.data(), true);
                    break;
                case kPictureEnds:
                    EndTables(t);
                    break;
                case kPictureDropped:
                    deblocker_.Abandon();
                    t.lost = false;
                    EndTables(t);
                    break;
                default:
                    ReconstructMacroblock(w, t.mbs[size_t(w.addr)], t.planes, t.widthMbs);
                    deblocker_.MarkReconstructed(w.addr);
                }
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
    endOfStream_ = false;
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
        case 10: // end of sequence
        case 11: // end of stream
            FinishPicture();
            endOfStream_ = true;
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
    if (sizeChanged && reconstruction_)
        reconstruction_->Drain(); // the tables and frames it works on change
    activeSps_ = sps;
    haveActiveSps_ = true;
    if (!sizeChanged)
        return QL_OK;
    dpbSize_ = std::max(DpbSizeFor(sps), sps.maxNumRefFrames);
    // One thread needs one set.
    for (PictureTables& t : reconstruction_ ? std::span(tables_) : std::span(tables_, 1)) {
        t.mbs.assign(size_t(sps.widthMbs) * size_t(sps.heightMbs), MbInfo{});
        t.widthMbs = sps.widthMbs;
        t.heightMbs = sps.heightMbs;
        // The reconstruction thread, which also deblocks, reads the slice
        // table while slices are added, so it must never move during a
        // picture: every slice added either decodes a macroblock of its own
        // or fails and ends the picture, and the end of a picture with lost
        // slices adds one more.
        t.sliceParams.clear();
        t.sliceParams.reserve(t.mbs.size() + 2);
        t.freeAt = 0;
    }
    // Frames are allocated as the stream needs them (its references, the
    // picture being decoded, the one the caller is reading, pictures waiting
    // for output, and with the reconstruction thread the one it finishes),
    // up to the level's buffer size plus those. No thread holds a picture
    // of its own.
    dpb_.Configure(allocator_, sps, dpbSize_ + (reconstruction_ ? 3 : 2));
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
    dpb_.ComputePoc(activeSps_, sh, *frame);
    if (reconstruction_) {
        // The other set: the reconstruction thread may still be finishing
        // the previous picture with this one's.
        currentTables_ ^= 1;
        reconstruction_->WaitFor(tables_[currentTables_].freeAt);
    }
    PictureTables& t = tables_[currentTables_];
    t.sliceParams.clear();
    t.refLists.clear();
    t.planes = frame->Planes();
    t.lostMbSource = PicturePlanes{};
    t.lost = false;
    if (reconstruction_)
        CommitControl(kPictureBegins);
    else
        deblocker_.Begin(t.planes, t.mbs.data(), t.widthMbs, t.heightMbs, t.sliceParams.data(), false);
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
    PictureTables& t = tables_[currentTables_];
    ctx.mbs = t.mbs.data();
    ctx.sliceNumber = sliceCount_++;
    ctx.sliceGroupMap = pps->numSliceGroups > 1 ? &sliceGroupMap_ : nullptr;
    ctx.sink = this;
    std::vector<RefPicture>& refList = t.refLists.emplace_back();
    ctx.refList = &refList;
    if (sh.sliceType == kSliceP) {
        status = dpb_.BuildRefList(activeSps_, sh, refList);
        if (status != QL_OK)
            return status;
        if (!t.lostMbSource.y && !refList.empty() && refList[0].identity)
            t.lostMbSource = refList[0].planes;
    }
    SliceFilterParams filter;
    filter.disableDeblockingFilterIdc = sh.disableDeblockingFilterIdc;
    filter.filterOffsetA = sh.filterOffsetA;
    filter.filterOffsetB = sh.filterOffsetB;
    filter.chromaQpIndexOffset = pps->chromaQpIndexOffset;
    t.sliceParams.push_back(filter);

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
    PictureTables& t = tables_[currentTables_];
    t.lost = decodedMbs_ < activeSps_.widthMbs * activeSps_.heightMbs;
    frame->cropX = 2 * activeSps_.cropLeft;
    frame->cropY = 2 * activeSps_.cropTop;
    frame->displayWidth = activeSps_.DisplayWidth();
    frame->displayHeight = activeSps_.DisplayHeight();
    if (reconstruction_) {
        CommitControl(kPictureEnds);
        reconstruction_->Push(); // the thread finishes the picture while the caller is away
        frame->readyAt = t.freeAt;
    } else {
        EndTables(t);
    }
    dpb_.MarkDecoded(activeSps_, firstSlice_, *frame);
    frame->decoding = false;
    frame->neededForOutput = true;
}

void H264Engine::EndTables(PictureTables& t)
{
    if (t.lost) {
        // Slices were lost: their macroblocks are filled from the reference
        // (never left holding whatever the buffer held before, which would
        // make the picture depend on the buffer's history) and left out of
        // deblocking.
        FillLostMacroblocks(t);
        SliceFilterParams off;
        off.disableDeblockingFilterIdc = 1;
        t.sliceParams.push_back(off);
        for (MbInfo& m : t.mbs)
            if (m.sliceNumber < 0) {
                m = MbInfo{};
                m.sliceNumber = int(t.sliceParams.size()) - 1;
            }
    }
    deblocker_.FinishRest();
    // Ready for the next picture that uses them.
    for (MbInfo& m : t.mbs)
        m.sliceNumber = -1;
}

void H264Engine::FillLostMacroblocks(const PictureTables& t)
{
    const PicturePlanes& picture = t.planes;
    const PicturePlanes& src = t.lostMbSource;
    const bool copy = src.y && src.width == picture.width && src.height == picture.height;
    const int width = t.widthMbs;
    uint8_t* const planes[] = {picture.y, picture.cb, picture.cr};
    const uint8_t* const srcPlanes[] = {src.y, src.cb, src.cr};
    for (size_t i = 0; i < t.mbs.size(); ++i) {
        if (t.mbs[i].sliceNumber >= 0)
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
    if (!reconstruction_)
        return work_;
    MacroblockWork& w = reconstruction_->Slot();
    w.tables = uint8_t(currentTables_);
    return w;
}

void H264Engine::Commit()
{
    if (reconstruction_)
        reconstruction_->Commit();
    else
        Reconstruct(work_);
}

void H264Engine::CommitControl(int what)
{
    MacroblockWork& w = Slot();
    w.addr = what;
    Commit();
    tables_[currentTables_].freeAt = reconstruction_->Committed();
}

void H264Engine::Reconstruct(const MacroblockWork& work)
{
    const PictureTables& t = tables_[currentTables_];
    ReconstructMacroblock(work, t.mbs[size_t(work.addr)], t.planes, t.widthMbs);
    deblocker_.Reconstructed(work.addr);
}

void H264Engine::DropPicture()
{
    if (!current_)
        return;
    if (reconstruction_) {
        CommitControl(kPictureDropped);
        reconstruction_->Push();
    } else {
        PictureTables& t = tables_[currentTables_];
        t.lost = false;
        deblocker_.Abandon();
        EndTables(t);
    }
    current_->decoding = false;
    current_ = nullptr;
}

H264DecoderFrame* H264Engine::TakeOutput(bool flush)
{
    H264DecoderFrame* frame = dpb_.NextOutput();
    if (frame)
        frame->neededForOutput = false;
    if (reconstruction_) {
        // The picture is chosen now, as on one thread, and given out at the
        // next call, when the reconstruction thread has finished it.
        if (frame) {
            frame->queued = true;
            chosen_.push_back(frame);
        }
        frame = flush || chosen_.size() > 1 ? TakeChosen() : nullptr;
    }
    if (frame)
        frame->handedOut = true;
    return frame;
}

void H264Engine::RunInParts(int parts, const std::function<void(int part, int parts)>& work)
{
    if (reconstruction_ && parts > 1) {
        reconstruction_->Share(parts, [&](int part) { work(part, parts); });
        return;
    }
    for (int part = 0; part < parts; ++part)
        work(part, parts);
}

H264DecoderFrame* H264Engine::TakeChosen()
{
    if (chosen_.empty())
        return nullptr;
    H264DecoderFrame* frame = chosen_.front();
    chosen_.pop_front();
    reconstruction_->WaitFor(frame->readyAt);
    frame->queued = false;
    frame->handedOut = true;
    return frame;
}

void H264Engine::ReleaseHandedOut()
{
    dpb_.ReleaseHandedOut();
}

} // namespace QLMedia
