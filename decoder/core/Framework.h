// The decoder's small media framework (namespace QLMedia): parameter
// records, codecs, data buffers and a memory allocator, with run-time type
// identity by class name. The H.264 decoder is one codec among them; the
// library layer creates these objects, feeds access units in and takes
// pictures out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace QLMedia {

// Status codes: 0 success, negative framework errors, positive H.264 codes.
enum : int32_t {
    QL_OK = 0,
    QL_ERR_FAILED = -999,
    QL_ERR_NO_STREAM_INFO = -998,
    QL_ERR_NOT_ENOUGH_DATA = -996,
    QL_ERR_NULL_PTR = -995,
    QL_ERR_INIT = -899,
    QL_ERR_ALLOC = -883,
    QL_ERR_UNSUPPORTED_BIT_DEPTH = -879,
    QL_ERR_NOT_IMPLEMENTED = -878,

    H264_ERR_RESIDUAL = 10000,
    H264_ERR_CHROMA_DC = 10001,
    H264_ERR_SPS_ID = 10005,
    H264_ERR_POC_TYPE = 10006,
    H264_ERR_PPS_ID = 10011,
    H264_ERR_PPS_SPS_ID = 10012,
    H264_ERR_SLICE_GROUP_COUNT = 10013,
    H264_ERR_RUN_LENGTH = 10014,
    H264_ERR_BOX_ORDER = 10015,
    H264_ERR_BOX_TOP_LEFT = 10016,
    H264_ERR_BOX_BOTTOM_RIGHT = 10017,
    H264_ERR_MAP_TYPE_GROUPS = 10018,
    H264_ERR_CHANGE_RATE = 10019,
    H264_ERR_MAP_SIZE = 10020,
    H264_ERR_SLICE_GROUP_ID = 10021,
    H264_ERR_MAP_TYPE = 10022,
    H264_ERR_SLICE_TYPE = 10024,
    H264_ERR_SLICE_PPS_ID = 10025,
    H264_ERR_REORDERING = 10026,
    H264_ERR_MMCO = 10028,
    H264_ERR_LONG_TERM_INDEX = 10029,
    H264_ERR_FILTER_OFFSET_A = 10030,
    H264_ERR_FILTER_OFFSET_B = 10031, // also: unsupported chroma format of a picture buffer
    H264_ERR_MB_TYPE = 10035,
    H264_ERR_REF_INDEX = 10051,
    H264_ERR_QP_DELTA = 10058,
    H264_ERR_MB_ADDRESS = 10063,
    H264_ERR_SLICE_DATA = 10064,
    H264_ERR_INTRA_MODE = 10065,
    H264_ERR_CBP = 10066,
    H264_ERR_SUB_MB_TYPE = 10067,
    H264_ERR_MVD = 10068,
    H264_ERR_SKIP_RUN = 10069,
    H264_ERR_MISSING_REFERENCE = 10110,
    H264_ERR_UNIT_SIZES = 10111,
    H264_ERR_LEFTOVER_DATA = 10112,
    H264_ERR_TASK_EXCEPTION = 10115,
    H264_ERR_TASK_OTHER = 10116,
    H264_INCOMPLETE_PICTURE = 10117,
};

// Run-time type identity: every class names itself, and the first two
// virtual operations test "is this object a T (or derived from T)", given
// T's ClassName function or its name string.
using ClassNameFn = const char* (*)();

#define QL_CLASS_IDENTITY(Class, Base)                                                             \
    static const char* ClassName() { return #Class; }                                             \
    bool IsTypeOf(ClassNameFn fn) const override { return fn == &Class::ClassName || Base::IsTypeOf(fn); } \
    bool IsTypeOf(const char* name) const override                                                 \
    {                                                                                               \
        return std::strcmp(name, #Class) == 0 || Base::IsTypeOf(name);                             \
    }

#define QL_ROOT_IDENTITY(Class)                                                                    \
    static const char* ClassName() { return #Class; }                                             \
    virtual bool IsTypeOf(ClassNameFn fn) const { return fn == &Class::ClassName; }                \
    virtual bool IsTypeOf(const char* name) const { return std::strcmp(name, #Class) == 0; }

// Checked down-cast through the type identity; null when the object is not a T.
template <typename T, typename U>
T* DynamicCast(U* object)
{
    return (object && object->IsTypeOf(&T::ClassName)) ? static_cast<T*>(object) : nullptr;
}

class MemoryAllocator {
public:
    QL_ROOT_IDENTITY(MemoryAllocator)
    virtual ~MemoryAllocator() = default;
    virtual int32_t Init() = 0;
    virtual int32_t Close() = 0;
    virtual int32_t Alloc(uint32_t* id, size_t size, uint32_t flags, uint32_t alignment) = 0;
    virtual void* Lock(uint32_t id) = 0;
    virtual int32_t Unlock(uint32_t id) = 0;
    virtual int32_t Free(uint32_t id) = 0;
    virtual int32_t Release(uint32_t id) = 0;
};

class DefaultMemoryAllocator : public MemoryAllocator {
public:
    QL_CLASS_IDENTITY(DefaultMemoryAllocator, MemoryAllocator)
    ~DefaultMemoryAllocator() override { Close(); }
    int32_t Init() override;
    int32_t Close() override;
    // Ids count from 1; only an alignment of 16 (or 0, meaning 16) is
    // supported. Blocks are aligned to 64 bytes, which satisfies 16; blocks
    // of a picture's size are whole pages of their own.
    int32_t Alloc(uint32_t* id, size_t size, uint32_t flags, uint32_t alignment) override;
    void* Lock(uint32_t id) override;
    int32_t Unlock(uint32_t id) override;
    int32_t Free(uint32_t id) override;
    int32_t Release(uint32_t id) override;

private:
    struct Block {
        void* memory = nullptr;
        size_t size = 0;
        size_t mapped = 0; // bytes mapped for the block; 0: from the heap
    };
    static void FreeBlock(const Block& b);
    std::vector<Block> blocks_;
};

class MediaData {
public:
    QL_ROOT_IDENTITY(MediaData)
    virtual ~MediaData() = default;
    virtual size_t GetDataSize() const { return dataSize_; }
    // Points the object at caller-owned bytes; nothing is copied.
    virtual void SetBufferPointer(const uint8_t* address, size_t size)
    {
        buffer_ = address;
        data_ = address;
        bufferSize_ = size;
        dataSize_ = 0;
    }
    virtual int32_t SetDataSize(size_t size)
    {
        if (data_ && size_t(data_ - buffer_) + size > bufferSize_)
            return QL_ERR_FAILED;
        dataSize_ = size;
        return QL_OK;
    }
    virtual int32_t MoveDataPointer(size_t n)
    {
        if (n > dataSize_)
            n = dataSize_;
        data_ += n;
        dataSize_ -= n;
        return QL_OK;
    }
    const uint8_t* GetDataPointer() const { return data_; }
    double time = -1.0;

protected:
    const uint8_t* buffer_ = nullptr;
    const uint8_t* data_ = nullptr;
    size_t bufferSize_ = 0;
    size_t dataSize_ = 0;
};

// One access unit with the offset and type of each NAL unit in it.
class MediaDataEx : public MediaData {
public:
    QL_CLASS_IDENTITY(MediaDataEx, MediaData)
    std::vector<uint32_t> unitOffsets;
    std::vector<uint32_t> unitTypes;
};

struct Plane {
    uint8_t* data = nullptr;
    ptrdiff_t pitch = 0;
};

// A picture's size and the planes of memory that someone else owns: the
// decoder hands out its pictures this way, without a copy.
class VideoData : public MediaData {
public:
    QL_CLASS_IDENTITY(VideoData, MediaData)
    // Describes a picture; its planes are set later.
    int32_t Init(int width, int height, int colorFormat, int bitDepth);
    // Makes the planes point at someone else's memory (no copy).
    void SetPlane(int index, uint8_t* data, ptrdiff_t pitch) { planes_[index] = {data, pitch}; }
    Plane GetPlane(int index) const { return index >= 0 && index < 3 ? planes_[index] : Plane{}; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetSize(int width, int height)
    {
        width_ = width;
        height_ = height;
    }
    int ColorFormat() const { return colorFormat_; }

private:
    Plane planes_[3];
    int width_ = 0;
    int height_ = 0;
    int colorFormat_ = 0;
    int bitDepth_ = 8;
};

class BaseCodec;

class BaseCodecParams {
public:
    QL_ROOT_IDENTITY(BaseCodecParams)
    virtual ~BaseCodecParams() = default;
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    int32_t numThreads = 1;
    MemoryAllocator* allocator = nullptr;
    int32_t profile = 0;
    int32_t level = 0;
};

struct VideoStreamInfo {
    int32_t width = 0; // displayed (cropped) size
    int32_t height = 0;
    double frameRate = 0.0;
    int32_t streamType = 0; // 384: H.264
    int32_t streamSubtype = 0;
    int32_t interlaceType = 0;
    int32_t aspectRatioWidth = 1;
    int32_t aspectRatioHeight = 1;
};

constexpr int32_t kStreamTypeH264 = 384;

class VideoDecoderParams : public BaseCodecParams {
public:
    QL_CLASS_IDENTITY(VideoDecoderParams, BaseCodecParams)
    MediaData* inputData = nullptr;
    VideoStreamInfo info;
    uint32_t flags = 0;
    double playbackRate = 1.0;
    BaseCodec* postProcessing = nullptr;
};

class H264VideoDecoderParams : public VideoDecoderParams {
public:
    QL_CLASS_IDENTITY(H264VideoDecoderParams, VideoDecoderParams)
    int32_t frameBufferCount = 0; // the most pictures the decoder may hold for the stream
    int32_t codedWidth = 0;
    int32_t codedHeight = 0;
};

class VideoProcessingParams : public BaseCodecParams {
public:
    QL_CLASS_IDENTITY(VideoProcessingParams, BaseCodecParams)
};

class BaseCodec {
public:
    QL_ROOT_IDENTITY(BaseCodec)
    virtual ~BaseCodec() = default;
    virtual int32_t Init(BaseCodecParams* params) = 0;
    virtual int32_t GetFrame(MediaData* in, MediaData* out) = 0;
    virtual int32_t GetInfo(BaseCodecParams* params) = 0;
    virtual int32_t Close() = 0;
    virtual int32_t Reset() = 0;

protected:
    // The base Init: takes the caller's allocator or makes a default one.
    int32_t InitAllocator(BaseCodecParams* params);
    MemoryAllocator* allocator_ = nullptr;
    std::unique_ptr<MemoryAllocator> ownAllocator_;
};

class VideoDecoder : public BaseCodec {
public:
    QL_CLASS_IDENTITY(VideoDecoder, BaseCodec)
};

// The post-processing codec: makes the output VideoData point at the planes
// of the decoded picture; no pixel is copied.
class DataPointersCopy : public BaseCodec {
public:
    QL_CLASS_IDENTITY(DataPointersCopy, BaseCodec)
    int32_t Init(BaseCodecParams*) override { return QL_OK; }
    int32_t GetFrame(MediaData* in, MediaData* out) override;
    int32_t GetInfo(BaseCodecParams*) override { return QL_OK; }
    int32_t Close() override { return QL_OK; }
    int32_t Reset() override { return QL_OK; }
};

class h264_exception {
public:
    explicit h264_exception(int32_t status) : status_(status) {}
    int32_t GetStatus() const { return status_; }

private:
    int32_t status_;
};

class H264Engine;
class H264DecoderFrame;

class H264VideoDecoder : public VideoDecoder {
public:
    QL_CLASS_IDENTITY(H264VideoDecoder, VideoDecoder)
    H264VideoDecoder();
    ~H264VideoDecoder() override;

    // params must be a VideoDecoderParams (else -995). The thread count is
    // clamped (<= 0: processors; > 8: 8) and written back. Input data in the
    // params (SPS and PPS) are decoded at once.
    int32_t Init(BaseCodecParams* params) override;
    // in: one access unit (or null to flush); out: a VideoData that receives
    // the next picture in output order. 0 = a picture, -996 = more input
    // needed, 10117 = incomplete picture, other = failure.
    int32_t GetFrame(MediaData* in, MediaData* out) override;
    // Stream information of the active SPS; -998 before any SPS.
    int32_t GetInfo(BaseCodecParams* params) override;
    int32_t Close() override;
    int32_t Reset() override;

    // Whether the input now given is the last piece of its picture. Every
    // input ends the picture it holds (see GetFrame), so the answer changes
    // nothing; the library layer still tells it as its sequence says.
    void SetLastPiece(bool lastPiece);
    // Pieces expected for an incomplete picture (1 when unknown).
    int32_t ExpectedPieces() const;
    // With more than one thread a picture is given out at the call after
    // the one that decoded it. This gives out the picture due at the next
    // call, without decoding anything: 0 = a picture in out, -996 = none.
    int32_t TakeHeldPicture(MediaData* out);
    // Runs work(part, parts) for every part, on the calling thread and on
    // the decoder's own when it has one and that one has nothing else to
    // do; returns when every part is done. For work on the picture given
    // out (converting it), which the decoder's thread no longer touches.
    void RunInParts(int parts, const std::function<void(int part, int parts)>& work);

private:
    int32_t Deliver(H264DecoderFrame* frame, MediaData* out);

    std::unique_ptr<H264Engine> engine_;
    BaseCodec* postProcessing_ = nullptr;
    int32_t threads_ = 1;
    double frameDuration_ = 1.0 / 30;
    double runningTime_ = 0.0;
};

} // namespace QLMedia
