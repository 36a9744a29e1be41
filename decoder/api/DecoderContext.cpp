// QL_H264dec_Init, QL_H264dec_Uninit and QL_H264dec_GetLastStatus: the life
// of the private context and its six core objects.
#include "DecoderContext.h"

#include "ApiTrace.h"
#include "StreamDump.h"

#include <cstdlib>
#include <new>

namespace qlapi {
namespace {

// The unit tables grow only when an access unit has more units than this.
constexpr size_t kInitialUnitCapacity = 256;

template <typename T>
void DeleteTraced(std::unique_ptr<T>& object, const char* digit)
{
    QL_TRACE("%s", digit);
    object.reset();
    QL_TRACE("-End");
}

} // namespace

bool CreateCoreObjects(DecoderContext& c)
{
    try {
        c.decoder = std::make_unique<QLMedia::H264VideoDecoder>();
        c.params = std::make_unique<QLMedia::VideoDecoderParams>();
        c.postProcessing = std::make_unique<QLMedia::DataPointersCopy>();
        c.input = std::make_unique<QLMedia::MediaDataEx>();
        c.input->unitOffsets.reserve(kInitialUnitCapacity);
        c.input->unitTypes.reserve(kInitialUnitCapacity);
        c.output = std::make_unique<QLMedia::VideoData>();
        c.splitter = std::make_unique<AccessUnitSplitter>();
    } catch (...) {
        return false;
    }
    return true;
}

void DeleteCoreObjectsForReset(DecoderContext& c)
{
    DeleteTraced(c.decoder, "1");
    DeleteTraced(c.params, "2");
    DeleteTraced(c.postProcessing, "3");
    DeleteTraced(c.input, "4");
    DeleteTraced(c.output, "5");
    DeleteTraced(c.splitter, "6");
}

int64_t TestFaultFromEnvironment()
{
    const char* value = std::getenv("QL_H264DEC_TEST_FAULT");
    if (!value || !*value)
        return 0;
    char* end = nullptr;
    const long long n = std::strtoll(value, &end, 10);
    return (end && *end == '\0' && n > 0) ? n : 0;
}

} // namespace qlapi

using qlapi::DecoderContext;

extern "C" QL_H264DEC_API int32_t QL_H264dec_Init(DecoderHandle* handle)
{
    if (!handle)
        return -1;
    try {
        handle->decodeTicks = 0;
        handle->convertTicks = 0;
        std::unique_ptr<DecoderContext> context(new (std::nothrow) DecoderContext);
        if (!context || !qlapi::CreateCoreObjects(*context))
            return -1;
        context->faultCountdown = qlapi::TestFaultFromEnvironment();
        handle->context = context.release();
        return 0;
    } catch (...) {
        qlapi::WriteStreamDump();
        QL_TRACE("         Error Stream is saved - Init\n");
        return -1;
    }
}

extern "C" QL_H264DEC_API void QL_H264dec_Uninit(DecoderHandle* handle)
{
    QL_TRACE("   uninit:QL_H264dec_Uninit()");
    if (!handle || !handle->context) {
        QL_TRACE(" - End\n");
        return;
    }
    auto* c = static_cast<DecoderContext*>(handle->context);
    try {
        // The engine's worker threads stop before the objects they were
        // handed (post-processing codec, input) are deleted.
        if (c->decoder)
            c->decoder->Close();
        qlapi::DeleteTraced(c->params, "1");
        qlapi::DeleteTraced(c->postProcessing, "2");
        qlapi::DeleteTraced(c->input, "3");
        qlapi::DeleteTraced(c->output, "4");
        qlapi::DeleteTraced(c->splitter, "5");
        qlapi::DeleteTraced(c->decoder, "6");
        if (c->accumBuffer) {
            QL_TRACE("7");
            c->accumBuffer.reset();
            QL_TRACE("-End");
        }
    } catch (...) {
        qlapi::WriteStreamDump();
        QL_TRACE("         Error Stream is saved  - UnInit\n");
    }
    delete c; // what is left has no throwing destructor
    handle->context = nullptr;
}

extern "C" QL_H264DEC_API int32_t QL_H264dec_GetLastStatus(const DecoderHandle* handle)
{
    if (!handle || !handle->context)
        return -1;
    return static_cast<const DecoderContext*>(handle->context)->lastStatus;
}
