#include "Framework.h"

#include <cstdlib>
#include <new>

namespace QLMedia {

int32_t DefaultMemoryAllocator::Init()
{
    return Close();
}

int32_t DefaultMemoryAllocator::Close()
{
    for (Block& b : blocks_)
        std::free(b.memory);
    blocks_.clear();
    return QL_OK;
}

int32_t DefaultMemoryAllocator::Alloc(uint32_t* id, size_t size, uint32_t flags, uint32_t alignment)
{
    if (!id)
        return QL_ERR_NULL_PTR;
    if (alignment != 0 && alignment != 16)
        return QL_ERR_NOT_IMPLEMENTED;
    const size_t rounded = (size + 63) / 64 * 64;
    void* memory = std::aligned_alloc(64, rounded ? rounded : 64);
    if (!memory)
        return QL_ERR_ALLOC;
    // Reuse a freed slot so ids stay small over a long run.
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (!blocks_[i].memory) {
            blocks_[i] = {memory, size};
            *id = uint32_t(i + 1);
            return QL_OK;
        }
    }
    blocks_.push_back({memory, size});
    *id = uint32_t(blocks_.size());
    return QL_OK;
}

void* DefaultMemoryAllocator::Lock(uint32_t id)
{
    if (id == 0 || id > blocks_.size())
        return nullptr;
    return blocks_[id - 1].memory;
}

int32_t DefaultMemoryAllocator::Unlock(uint32_t id)
{
    return (id == 0 || id > blocks_.size()) ? QL_ERR_FAILED : QL_OK;
}

int32_t DefaultMemoryAllocator::Free(uint32_t id)
{
    return Release(id);
}

int32_t DefaultMemoryAllocator::Release(uint32_t id)
{
    if (id == 0 || id > blocks_.size())
        return QL_ERR_FAILED;
    Block& b = blocks_[id - 1];
    if (!b.memory)
        return QL_ERR_NULL_PTR;
    std::free(b.memory);
    b = {};
    return QL_OK;
}

int32_t VideoData::Init(int width, int height, int colorFormat, int bitDepth)
{
    if (width < 0 || height < 0)
        return QL_ERR_FAILED;
    if (bitDepth < 8 || bitDepth > 16)
        return QL_ERR_UNSUPPORTED_BIT_DEPTH;
    width_ = width;
    height_ = height;
    colorFormat_ = colorFormat;
    bitDepth_ = bitDepth;
    return QL_OK;
}

int32_t BaseCodec::InitAllocator(BaseCodecParams* params)
{
    if (params && params->allocator) {
        allocator_ = params->allocator;
        return QL_OK;
    }
    if (!ownAllocator_)
        ownAllocator_ = std::make_unique<DefaultMemoryAllocator>();
    allocator_ = ownAllocator_.get();
    return allocator_->Init();
}

int32_t DataPointersCopy::GetFrame(MediaData* in, MediaData* out)
{
    VideoData* src = DynamicCast<VideoData>(in);
    VideoData* dst = DynamicCast<VideoData>(out);
    if (!src || !dst)
        return QL_ERR_NULL_PTR;
    for (int i = 0; i < 3; ++i) {
        const Plane p = src->GetPlane(i);
        dst->SetPlane(i, p.data, p.pitch);
    }
    dst->SetSize(src->Width(), src->Height());
    dst->time = src->time;
    return QL_OK;
}

} // namespace QLMedia
