#include "Framework.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace QLMedia {
namespace {

// Pictures take pages of their own, returned to the system when freed:
// decoders that come and go (sixteen channels re-created on a stream change)
// then leave no holes in the heap that stay resident, and a picture's pages
// count only once written. Under AddressSanitizer every block comes from the
// heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapOnly = true;
#elif defined(__has_feature)
constexpr bool kHeapOnly = __has_feature(address_sanitizer);
#else
constexpr bool kHeapOnly = false;
#endif
constexpr size_t kPagedBlockMinimum = kHeapOnly ? SIZE_MAX : 65536;

} // namespace

int32_t DefaultMemoryAllocator::Init()
{
    return Close();
}

int32_t DefaultMemoryAllocator::Close()
{
    for (Block& b : blocks_)
        FreeBlock(b);
    blocks_.clear();
    return QL_OK;
}

int32_t DefaultMemoryAllocator::Alloc(uint32_t* id, size_t size, uint32_t flags, uint32_t alignment)
{
    if (!id)
        return QL_ERR_NULL_PTR;
    if (alignment != 0 && alignment != 16)
        return QL_ERR_NOT_IMPLEMENTED;
    Block block{nullptr, size, 0};
    if (size >= kPagedBlockMinimum) {
        void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED) {
            block.memory = pages;
            block.mapped = size;
        }
    } else {
        const size_t rounded = (size + 63) / 64 * 64;
        block.memory = std::aligned_alloc(64, rounded ? rounded : 64);
    }
    if (!block.memory)
        return QL_ERR_ALLOC;
    // Reuse a freed slot so ids stay small over a long run.
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (!blocks_[i].memory) {
            blocks_[i] = block;
            *id = uint32_t(i + 1);
            return QL_OK;
        }
    }
    blocks_.push_back(block);
    *id = uint32_t(blocks_.size());
    return QL_OK;
}

void DefaultMemoryAllocator::FreeBlock(const Block& b)
{
    if (b.mapped)
        munmap(b.memory, b.mapped);
    else
        std::free(b.memory);
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
    FreeBlock(b);
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
