#include "Dpb.h"

#include <algorithm>
#include <climits>
#include <new>

namespace QLMedia {

int32_t H264DecYUVBufferPadded::Allocate(MemoryAllocator* allocator, int width, int height, int bitDepth,
                                         int chromaFormat)
{
    if (bitDepth < 8 || bitDepth > 16)
        return QL_ERR_UNSUPPORTED_BIT_DEPTH;
    if (chromaFormat < 0 || chromaFormat > 3)
        return H264_ERR_FILTER_OFFSET_B; // the code also stands for an unsupported chroma format
    const int w = (width + 15) & ~15, h = (height + 15) & ~15;
    const ptrdiff_t lumaPitch = (w + 63) & ~63;
    const ptrdiff_t chromaPitch = chromaFormat == 3 ? lumaPitch : lumaPitch / 2;
    const int chromaHeight = chromaFormat == 1 ? h / 2 : chromaFormat == 0 ? 0 : h;
    // Each plane starts on a 64-byte boundary.
    const size_t lumaBytes = (size_t(lumaPitch) * size_t(h) + 63) & ~size_t(63);
    const size_t chromaBytes = (size_t(chromaPitch) * size_t(chromaHeight) + 63) & ~size_t(63);
    size_t size = lumaBytes + 2 * chromaBytes + 128;
    if (bitDepth > 8)
        size *= 2;
    if (memId_ && allocator == allocator_ && size == size_ && bitDepth == bitDepth_ && chromaFormat == chromaFormat_ &&
        planes_.lumaPitch == lumaPitch) {
        planes_.width = w;
        planes_.height = h;
        return QL_OK;
    }
    Free();
    allocator_ = allocator;
    if (allocator_->Alloc(&memId_, size, 0, 16) != QL_OK)
        return QL_ERR_ALLOC;
    auto* base = static_cast<uint8_t*>(allocator_->Lock(memId_));
    if (!base)
        return QL_ERR_ALLOC;
    size_ = size;
    bitDepth_ = bitDepth;
    chromaFormat_ = chromaFormat;
    base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(base) + 63) & ~uintptr_t(63));
    planes_.y = base;
    planes_.cb = base + lumaBytes;
    planes_.cr = base + lumaBytes + chromaBytes;
    planes_.lumaPitch = lumaPitch;
    planes_.chromaPitch = chromaPitch;
    planes_.width = w;
    planes_.height = h;
    return QL_OK;
}

void H264DecYUVBufferPadded::Free()
{
    if (allocator_ && memId_) {
        allocator_->Unlock(memId_);
        allocator_->Free(memId_);
    }
    memId_ = 0;
    size_ = 0;
    planes_ = PicturePlanes{};
}

void DecodedPictureBuffer::Configure(MemoryAllocator* allocator, const SequenceParameterSet& sps, int limit)
{
    const int width = 16 * sps.widthMbs, height = 16 * sps.heightMbs;
    for (auto& f : frames_)
        if (f->queued || f->handedOut)
            retired_.push_back(std::move(f));
    frames_.erase(std::remove(frames_.begin(), frames_.end(), nullptr), frames_.end());
    if (allocator != allocator_ || width != width_ || height != height_)
        frames_.clear();
    allocator_ = allocator;
    width_ = width;
    height_ = height;
    limit_ = std::max(limit, 1);
    if (frames_.size() > size_t(limit_))
        frames_.resize(size_t(limit_));
    frames_.reserve(size_t(limit_)); // growing never throws
    for (auto& f : frames_)
        f->ResetState();
    Clear();
}

void DecodedPictureBuffer::Clear()
{
    ReleaseAll();
    prevPocMsb_ = prevPocLsb_ = prevFrameNumOffset_ = prevFrameNum_ = prevRefFrameNum_ = 0;
    prevHadMmco5_ = prevRefHadMmco5_ = false;
    prevRefTopPoc_ = 0;
    maxLongTermFrameIdx_ = -1;
}

void DecodedPictureBuffer::ReleaseAll()
{
    for (auto& f : frames_) {
        f->shortTermRef = f->longTermRef = f->neededForOutput = f->decoding = false;
    }
}

void DecodedPictureBuffer::ReleaseHandedOut()
{
    for (auto& f : frames_)
        f->handedOut = false;
    for (auto& f : retired_)
        f->handedOut = false;
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(), [](const auto& f) { return !f->queued; }),
                   retired_.end());
}

H264DecoderFrame* DecodedPictureBuffer::FreeFrame()
{
    // The lowest free frame first, as a pool allocated whole would give.
    for (auto& f : frames_)
        if (!f->InUse())
            return f.get();
    if (!allocator_ || frames_.size() >= size_t(limit_))
        return nullptr;
    std::unique_ptr<H264DecoderFrameExtension> frame(new (std::nothrow) H264DecoderFrameExtension);
    if (!frame || frame->Allocate(allocator_, width_, height_, 8, 1) != QL_OK)
        return nullptr;
    frames_.push_back(std::move(frame));
    return frames_.back().get();
}

int DecodedPictureBuffer::NumRefFrames() const
{
    int n = 0;
    for (const auto& f : frames_)
        n += f->IsRef();
    return n;
}

void DecodedPictureBuffer::ComputePoc(const SequenceParameterSet& sps, const SliceHeader& sh, H264DecoderFrame& frame)
{
    const int maxFrameNum = 1 << sps.log2MaxFrameNum;
    const int frameNum = int(sh.frameNum);
    if (sps.pocType == 0) {
        if (sh.idr) {
            prevPocMsb_ = 0;
            prevPocLsb_ = 0;
        } else if (prevRefHadMmco5_) {
            prevPocMsb_ = 0;
            prevPocLsb_ = prevRefTopPoc_;
        }
        const int maxLsb = 1 << sps.log2MaxPocLsb;
        const int lsb = int(sh.pocLsb);
        int msb = prevPocMsb_;
        if (lsb < prevPocLsb_ && prevPocLsb_ - lsb >= maxLsb / 2)
            msb = prevPocMsb_ + maxLsb;
        else if (lsb > prevPocLsb_ && lsb - prevPocLsb_ > maxLsb / 2)
            msb = prevPocMsb_ - maxLsb;
        frame.topPoc = msb + lsb;
        frame.bottomPoc = frame.topPoc + sh.deltaPocBottom;
        if (sh.nalRefIdc != 0) {
            prevPocMsb_ = msb;
            prevPocLsb_ = lsb;
        }
    } else {
        // After a memory_management_control_operation 5 the previous offset
        // and frame_num are both 0 (MarkDecoded stores them so).
        if (sh.idr)
            frameNumOffset_ = 0;
        else
            frameNumOffset_ = prevFrameNum_ > frameNum ? prevFrameNumOffset_ + maxFrameNum : prevFrameNumOffset_;
        if (sps.pocType == 1) {
            const int cycle = int(sps.offsetForRefFrame.size());
            int absFrameNum = cycle != 0 ? frameNumOffset_ + frameNum : 0;
            if (sh.nalRefIdc == 0 && absFrameNum > 0)
                --absFrameNum;
            int expected = 0;
            if (absFrameNum > 0) {
                int deltaPerCycle = 0;
                for (int o : sps.offsetForRefFrame)
                    deltaPerCycle += o;
                const int cycleCount = (absFrameNum - 1) / cycle;
                const int inCycle = (absFrameNum - 1) % cycle;
                expected = cycleCount * deltaPerCycle;
                for (int i = 0; i <= inCycle; ++i)
                    expected += sps.offsetForRefFrame[size_t(i)];
            }
            if (sh.nalRefIdc == 0)
                expected += sps.offsetForNonRefPic;
            frame.topPoc = expected + sh.deltaPoc[0];
            frame.bottomPoc = frame.topPoc + sps.offsetForTopToBottomField + sh.deltaPoc[1];
        } else {
            int temp = 0;
            if (!sh.idr)
                temp = sh.nalRefIdc == 0 ? 2 * (frameNumOffset_ + frameNum) - 1 : 2 * (frameNumOffset_ + frameNum);
            frame.topPoc = frame.bottomPoc = temp;
        }
    }
    frame.poc = std::min(frame.topPoc, frame.bottomPoc);
}

void DecodedPictureBuffer::SlidingWindow(const SequenceParameterSet& sps)
{
    const int limit = std::max(sps.maxNumRefFrames, 1);
    while (NumRefFrames() >= limit) {
        H264DecoderFrame* oldest = nullptr;
        for (auto& f : frames_)
            if (f->shortTermRef && (!oldest || f->frameNumWrap < oldest->frameNumWrap))
                oldest = f.get();
        if (!oldest) { // only long-term pictures: a broken stream; drop one
            for (auto& f : frames_)
                if (f->longTermRef) {
                    f->longTermRef = false;
                    break;
                }
            continue;
        }
        oldest->shortTermRef = false;
    }
}

void DecodedPictureBuffer::FillFrameNumGap(const SequenceParameterSet& sps, const SliceHeader& sh)
{
    const int maxFrameNum = 1 << sps.log2MaxFrameNum;
    if (sh.idr || int(sh.frameNum) == prevRefFrameNum_ || int(sh.frameNum) == (prevRefFrameNum_ + 1) % maxFrameNum)
        return;
    // Each missing frame_num becomes a "non-existing" short-term reference
    // frame, never shown; at most max_num_ref_frames of them can matter.
    int missing = (int(sh.frameNum) - prevRefFrameNum_ - 1 + maxFrameNum) % maxFrameNum;
    int frameNum = (prevRefFrameNum_ + 1) % maxFrameNum;
    if (missing > sps.maxNumRefFrames) {
        frameNum = (int(sh.frameNum) - sps.maxNumRefFrames + maxFrameNum) % maxFrameNum;
        missing = sps.maxNumRefFrames;
    }
    for (int i = 0; i < missing; ++i, frameNum = (frameNum + 1) % maxFrameNum) {
        for (auto& f : frames_)
            f->frameNumWrap = f->frameNum > frameNum ? f->frameNum - maxFrameNum : f->frameNum;
        SlidingWindow(sps);
        H264DecoderFrame* frame = FreeFrame();
        if (!frame)
            return;
        frame->frameNum = frameNum;
        frame->frameNumWrap = frameNum;
        frame->nonExisting = true;
        frame->shortTermRef = true;
        frame->longTermRef = false;
        frame->neededForOutput = false;
        SliceHeader gap = sh;
        gap.frameNum = uint32_t(frameNum);
        gap.nalRefIdc = 1;
        gap.idr = false;
        gap.deltaPoc[0] = gap.deltaPoc[1] = 0;
        if (sps.pocType != 0)
            ComputePoc(sps, gap, *frame);
        prevFrameNumOffset_ = frameNumOffset_;
        prevFrameNum_ = frameNum;
        prevRefFrameNum_ = frameNum;
        prevHadMmco5_ = false;
    }
}

int32_t DecodedPictureBuffer::BuildRefList(const SequenceParameterSet& sps, const SliceHeader& sh,
                                           std::vector<RefPicture>& list)
{
    const int maxFrameNum = 1 << sps.log2MaxFrameNum;
    const int currPicNum = int(sh.frameNum);
    std::vector<H264DecoderFrame*> shortTerm, longTerm;
    for (auto& f : frames_) {
        if (f->decoding)
            continue;
        if (f->shortTermRef) {
            f->frameNumWrap = f->frameNum > currPicNum ? f->frameNum - maxFrameNum : f->frameNum;
            shortTerm.push_back(f.get());
        } else if (f->longTermRef) {
            longTerm.push_back(f.get());
        }
    }
    std::sort(shortTerm.begin(), shortTerm.end(),
              [](const H264DecoderFrame* a, const H264DecoderFrame* b) { return a->frameNumWrap > b->frameNumWrap; });
    std::sort(longTerm.begin(), longTerm.end(), [](const H264DecoderFrame* a, const H264DecoderFrame* b) {
        return a->longTermFrameIdx < b->longTermFrameIdx;
    });
    const int active = sh.numRefIdxActive;
    // One spare entry: the modification process shifts into it.
    std::vector<H264DecoderFrame*> refs(size_t(active) + 1, nullptr);
    size_t n = 0;
    for (H264DecoderFrame* f : shortTerm)
        if (n < size_t(active))
            refs[n++] = f;
    for (H264DecoderFrame* f : longTerm)
        if (n < size_t(active))
            refs[n++] = f;

    int picNumPred = currPicNum;
    int refIdx = 0;
    for (const RefListModification& m : sh.refListModifications) {
        if (refIdx >= active)
            return H264_ERR_REORDERING;
        H264DecoderFrame* pic = nullptr;
        if (m.idc == 0 || m.idc == 1) {
            const int64_t diff = int64_t(m.value) + 1;
            if (diff > maxFrameNum)
                return H264_ERR_REORDERING;
            int64_t noWrap = m.idc == 0 ? picNumPred - diff : picNumPred + diff;
            if (noWrap < 0)
                noWrap += maxFrameNum;
            else if (noWrap >= maxFrameNum)
                noWrap -= maxFrameNum;
            picNumPred = int(noWrap);
            const int picNum = noWrap > currPicNum ? int(noWrap) - maxFrameNum : int(noWrap);
            for (H264DecoderFrame* f : shortTerm)
                if (f->frameNumWrap == picNum)
                    pic = f;
        } else {
            for (H264DecoderFrame* f : longTerm)
                if (f->longTermFrameIdx == int(m.value))
                    pic = f;
        }
        if (!pic)
            return H264_ERR_MISSING_REFERENCE;
        // Insert at refIdx and drop the picture's later entry (clause
        // 8.2.4.3.1/2: an entry with the same PicNum or LongTermPicNum is the
        // same frame).
        for (int c = active; c > refIdx; --c)
            refs[size_t(c)] = refs[size_t(c - 1)];
        refs[size_t(refIdx++)] = pic;
        int next = refIdx;
        for (int c = refIdx; c <= active; ++c)
            if (refs[size_t(c)] != pic)
                refs[size_t(next++)] = refs[size_t(c)];
    }
    list.assign(size_t(active), RefPicture{});
    for (int i = 0; i < active; ++i) {
        H264DecoderFrame* f = refs[size_t(i)];
        // A non-existing frame has no samples to predict from.
        if (f && !f->nonExisting) {
            list[size_t(i)].planes = f->Planes();
            list[size_t(i)].identity = f;
        }
    }
    return QL_OK;
}

void DecodedPictureBuffer::ApplyMemoryOperations(const SequenceParameterSet& sps, const SliceHeader& sh,
                                                 H264DecoderFrame& frame)
{
    const int maxFrameNum = 1 << sps.log2MaxFrameNum;
    const int currPicNum = int(sh.frameNum);
    auto shortTermByPicNum = [&](int picNum) -> H264DecoderFrame* {
        for (auto& f : frames_)
            if (f.get() != &frame && f->shortTermRef &&
                (f->frameNum > currPicNum ? f->frameNum - maxFrameNum : f->frameNum) == picNum)
                return f.get();
        return nullptr;
    };
    for (const MemoryManagementOperation& m : sh.memoryOperations) {
        switch (m.op) {
        case 1:
            if (H264DecoderFrame* f = shortTermByPicNum(currPicNum - int(m.differenceOfPicNumsMinus1) - 1))
                f->shortTermRef = false;
            break;
        case 2:
            for (auto& f : frames_)
                if (f->longTermRef && f->longTermFrameIdx == int(m.longTermPicNum))
                    f->longTermRef = false;
            break;
        case 3:
            if (H264DecoderFrame* f = shortTermByPicNum(currPicNum - int(m.differenceOfPicNumsMinus1) - 1)) {
                for (auto& g : frames_)
                    if (g->longTermRef && g->longTermFrameIdx == int(m.longTermFrameIdx))
                        g->longTermRef = false;
                f->shortTermRef = false;
                f->longTermRef = true;
                f->longTermFrameIdx = int(m.longTermFrameIdx);
            }
            break;
        case 4:
            maxLongTermFrameIdx_ = int(m.maxLongTermFrameIdxPlus1) - 1;
            for (auto& f : frames_)
                if (f->longTermRef && f->longTermFrameIdx > maxLongTermFrameIdx_)
                    f->longTermRef = false;
            break;
        case 5:
            for (auto& f : frames_)
                if (f.get() != &frame)
                    f->shortTermRef = f->longTermRef = false;
            maxLongTermFrameIdx_ = -1;
            break;
        case 6:
            for (auto& f : frames_)
                if (f.get() != &frame && f->longTermRef && f->longTermFrameIdx == int(m.longTermFrameIdx))
                    f->longTermRef = false;
            frame.longTermRef = true;
            frame.longTermFrameIdx = int(m.longTermFrameIdx);
            break;
        default:
            break;
        }
    }
}

void DecodedPictureBuffer::MarkDecoded(const SequenceParameterSet& sps, const SliceHeader& sh, H264DecoderFrame& frame)
{
    frame.frameNum = int(sh.frameNum);
    frame.frameNumWrap = frame.frameNum;
    frame.decodeOrder = ++decoded_;
    frame.nonExisting = false;
    frame.shortTermRef = frame.longTermRef = false;
    const bool mmco5 = sh.HasMmco5();
    if (sh.nalRefIdc != 0) {
        if (sh.idr) {
            for (auto& f : frames_)
                if (f.get() != &frame)
                    f->shortTermRef = f->longTermRef = false;
            if (sh.longTermReference) {
                frame.longTermRef = true;
                frame.longTermFrameIdx = 0;
                maxLongTermFrameIdx_ = 0;
            } else {
                maxLongTermFrameIdx_ = -1;
            }
        } else if (sh.adaptiveRefPicMarking) {
            ApplyMemoryOperations(sps, sh, frame);
        } else {
            const int maxFrameNum = 1 << sps.log2MaxFrameNum;
            for (auto& f : frames_)
                f->frameNumWrap = f->frameNum > frame.frameNum ? f->frameNum - maxFrameNum : f->frameNum;
            SlidingWindow(sps);
        }
        if (!frame.longTermRef)
            frame.shortTermRef = true;
        // Never keep more reference frames than the stream declared.
        const int limit = std::max(sps.maxNumRefFrames, 1);
        while (NumRefFrames() > limit) {
            H264DecoderFrame* oldest = nullptr;
            for (auto& f : frames_)
                if (f.get() != &frame && f->shortTermRef && (!oldest || f->frameNumWrap < oldest->frameNumWrap))
                    oldest = f.get();
            if (!oldest)
                break;
            oldest->shortTermRef = false;
        }
    }
    if (mmco5) {
        // The picture now counts as frame_num 0 with POCs relative to itself.
        const int temp = std::min(frame.topPoc, frame.bottomPoc);
        frame.topPoc -= temp;
        frame.bottomPoc -= temp;
        frame.poc = 0;
        frame.frameNum = 0;
    }
    prevHadMmco5_ = mmco5;
    prevFrameNumOffset_ = mmco5 ? 0 : frameNumOffset_;
    prevFrameNum_ = mmco5 ? 0 : int(sh.frameNum);
    if (sh.nalRefIdc != 0) {
        prevRefFrameNum_ = mmco5 ? 0 : int(sh.frameNum);
        prevRefHadMmco5_ = mmco5;
        prevRefTopPoc_ = frame.topPoc;
    }
}

H264DecoderFrame* DecodedPictureBuffer::NextOutput()
{
    H264DecoderFrame* best = nullptr;
    for (auto& f : frames_)
        if (f->neededForOutput && (!best || f->poc < best->poc || (f->poc == best->poc && f->decodeOrder < best->decodeOrder)))
            best = f.get();
    return best;
}

} // namespace QLMedia
