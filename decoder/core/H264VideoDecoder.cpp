#include "Framework.h"
#include "H264Engine.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace QLMedia {

H264VideoDecoder::H264VideoDecoder() = default;

H264VideoDecoder::~H264VideoDecoder()
{
    Close();
}

int32_t H264VideoDecoder::Init(BaseCodecParams* params)
{
    VideoDecoderParams* vp = DynamicCast<VideoDecoderParams>(params);
    if (!vp)
        return QL_ERR_NULL_PTR;
    Close();
    int32_t status = InitAllocator(params);
    if (status != QL_OK)
        return status;
    int threads = vp->numThreads;
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::min(threads, 8);
    vp->numThreads = threads;
    threads_ = threads;
    frameDuration_ = vp->info.frameRate > 0 ? 1.0 / vp->info.frameRate : 1.0 / 30;
    runningTime_ = 0.0;
    postProcessing_ = vp->postProcessing;
    try {
        engine_ = std::make_unique<H264Engine>(allocator_, threads);
    } catch (const std::bad_alloc&) {
        return QL_ERR_ALLOC;
    } catch (const std::system_error&) {
        return QL_ERR_INIT; // a decoding thread could not be started
    }
    if (vp->inputData && vp->inputData->GetDataSize() > 0) {
        status = GetFrame(vp->inputData, nullptr);
        if (status == QL_ERR_NOT_ENOUGH_DATA || status == QL_ERR_NULL_PTR)
            status = QL_OK;
        return status == QL_OK ? QL_OK : status;
    }
    return QL_OK;
}

int32_t H264VideoDecoder::TakeHeldPicture(MediaData* out)
{
    if (!engine_)
        return QL_ERR_NOT_ENOUGH_DATA;
    engine_->ReleaseHandedOut();
    return Deliver(engine_->TakeChosen(), out);
}

void H264VideoDecoder::RunInParts(int parts, const std::function<void(int part, int parts)>& work)
{
    if (engine_) {
        engine_->RunInParts(parts, work);
        return;
    }
    for (int part = 0; part < parts; ++part)
        work(part, parts);
}

int32_t H264VideoDecoder::GetFrame(MediaData* in, MediaData* out)
{
    if (!in && !out)
        return QL_ERR_NULL_PTR;
    if (!engine_)
        return QL_ERR_NOT_ENOUGH_DATA;
    engine_->ReleaseHandedOut();
    int32_t status = QL_OK;
    bool endOfStream = !in; // none given: a flush
    if (in) {
        if (in->GetDataSize() < 4)
            in->MoveDataPointer(in->GetDataSize());
        const size_t size = in->GetDataSize();
        if (size > 0) {
            status = engine_->AddAccessUnit(in->GetDataPointer(), size);
            endOfStream = engine_->EndOfStream();
            in->MoveDataPointer(size);
        }
    } else {
        engine_->FinishPicture();
    }
    if (status != QL_OK)
        return status;
    if (in && engine_->PictureInProgress()) {
        // The input ended inside a picture: its other slices were lost. It
        // is shown as far as it was decoded, whether or not the caller called
        // the input its last piece: the stager hands over whole access units,
        // so dropping it here would only make the pictures of a damaged
        // stream depend on the thread count.
        engine_->FinishPicture();
    }
    if (!DynamicCast<VideoData>(out))
        return QL_ERR_NOT_ENOUGH_DATA;
    // At the end of the stream no picture is held back.
    return Deliver(engine_->TakeOutput(endOfStream), out);
}

int32_t H264VideoDecoder::Deliver(H264DecoderFrame* frame, MediaData* out)
{
    VideoData* video = DynamicCast<VideoData>(out);
    if (!frame || !video)
        return QL_ERR_NOT_ENOUGH_DATA;
    const PicturePlanes& p = frame->Planes();
    const int cropX = frame->cropX, cropY = frame->cropY;
    VideoData picture;
    picture.SetPlane(0, p.y + cropY * p.lumaPitch + cropX, p.lumaPitch);
    picture.SetPlane(1, p.cb + (cropY / 2) * p.chromaPitch + cropX / 2, p.chromaPitch);
    picture.SetPlane(2, p.cr + (cropY / 2) * p.chromaPitch + cropX / 2, p.chromaPitch);
    picture.SetSize(frame->displayWidth, frame->displayHeight);
    if (frame->time < 0)
        frame->time = runningTime_;
    picture.time = frame->time;
    runningTime_ += frameDuration_;
    DataPointersCopy copy;
    BaseCodec* post = postProcessing_ ? postProcessing_ : &copy;
    return post->GetFrame(&picture, video);
}

int32_t H264VideoDecoder::GetInfo(BaseCodecParams* params)
{
    VideoDecoderParams* vp = DynamicCast<VideoDecoderParams>(params);
    if (!vp)
        return QL_ERR_NULL_PTR;
    const SequenceParameterSet* sps = engine_ ? engine_->ActiveSps() : nullptr;
    if (!sps)
        return QL_ERR_NO_STREAM_INFO;
    vp->info.width = sps->DisplayWidth();
    vp->info.height = sps->DisplayHeight();
    vp->info.frameRate = 1.0 / frameDuration_;
    vp->info.streamType = kStreamTypeH264;
    vp->profile = sps->profileIdc;
    vp->level = sps->levelIdc;
    vp->numThreads = threads_;
    if (H264VideoDecoderParams* hp = DynamicCast<H264VideoDecoderParams>(params)) {
        hp->frameBufferCount = std::max(DpbSizeFor(*sps), sps->maxNumRefFrames) + 2;
        hp->codedWidth = 16 * sps->widthMbs;
        hp->codedHeight = 16 * sps->heightMbs;
    }
    return QL_OK;
}

int32_t H264VideoDecoder::Close()
{
    engine_.reset();
    return QL_OK;
}

int32_t H264VideoDecoder::Reset()
{
    if (!engine_)
        return QL_OK;
    try {
        engine_ = std::make_unique<H264Engine>(allocator_, threads_);
    } catch (const std::bad_alloc&) {
        return QL_ERR_ALLOC;
    } catch (const std::system_error&) {
        return QL_ERR_INIT;
    }
    return QL_OK;
}

void H264VideoDecoder::SetLastPiece(bool /*lastPiece*/) {}

int32_t H264VideoDecoder::ExpectedPieces() const
{
    return 1;
}

} // namespace QLMedia
