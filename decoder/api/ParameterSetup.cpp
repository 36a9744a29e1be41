// _SetParam, the one-shot parameter setup after a new SPS and PPS, and
// decoder_reset, which rebuilds the core objects after an error.
#include "DecoderContext.h"

#include "ApiTrace.h"
#include "StreamDump.h"

#include <new>
#include <thread>

namespace qlapi {
namespace {

// The largest picture any level allows (MaxFS of levels 5.1 and 5.2, ITU-T
// H.264 Table A-1); a larger reported size is a broken stream, not a picture
// worth allocating for.
constexpr int64_t kMaxPictureSamples = int64_t(36864) * 256;
constexpr int32_t kMaxPictureSide = 16384;
constexpr int32_t kMaxThreads = 8;

// profile_idc is the first byte after the NAL header; emulation prevention
// cannot touch it, since the header byte before it is never 0.
int32_t StoredProfile(const DecoderContext& c)
{
    return c.spsLength > 5 ? c.spsBytes[5] : 0;
}

int32_t StoredLevel(const DecoderContext& c)
{
    return c.spsLength > 7 ? c.spsBytes[7] : 0;
}

// The core clamps the thread count the same way; doing it here too keeps a
// core that leaves the count alone from steering the library into odd paths.
int32_t ClampThreads(int32_t n)
{
    if (n <= 0) {
        const unsigned cpus = std::thread::hardware_concurrency();
        n = cpus ? int32_t(cpus) : 1;
    }
    return n > kMaxThreads ? kMaxThreads : n;
}

} // namespace

int32_t _SetParam(DecoderHandle& h, DecoderContext& c)
{
    QL_TRACE("    _SetParam()");
    if (c.paramsSet)
        return kSetupFailed;
    try {
        // A stream above Baseline is refused before the core sees it: the
        // core reads only Baseline syntax and would misread a High-profile
        // SPS rather than report its profile.
        if (StoredProfile(c) > kBaselineProfile) {
            h.profile = StoredProfile(c);
            h.level = StoredLevel(c);
            return kSetupRefused;
        }

        c.pictureWidth = 0;
        c.pictureHeight = 0;
        QLMedia::VideoDecoderParams& p = *c.params;
        p.postProcessing = c.postProcessing.get();
        p.info.streamType = kStreamTypeH264;
        p.numThreads = h.threads;
        p.inputData = c.input.get();
        p.flags = 0;
        const int32_t initResult = c.decoder->Init(&p);
        // The core decoded the parameter sets during Init; the input must not
        // offer them to the frame decoding again.
        c.EmptyInput();
        c.splitter->ClearParameterSets();
        if (initResult != QLMedia::QL_OK)
            return kSetupFailed;

        QLMedia::H264VideoDecoderParams info;
        if (c.decoder->GetInfo(&info) != QLMedia::QL_OK)
            return kSetupFailed;
        const int32_t w = info.info.width;
        const int32_t hgt = info.info.height;
        if (w <= 0 || hgt <= 0 || w > kMaxPictureSide || hgt > kMaxPictureSide ||
            int64_t(w) * hgt > kMaxPictureSamples)
            return kSetupFailed;

        // The output points at the decoder's pictures; it needs no planes of
        // its own.
        if (c.output->Init(w, hgt, c.colourFormatCode, c.bitDepth) != QLMedia::QL_OK)
            return kSetupFailed;
        c.pictureWidth = w;
        c.pictureHeight = hgt;

        h.level = info.level;
        h.profile = info.profile;
        h.codedWidth = info.codedWidth;
        h.codedHeight = info.codedHeight;
        c.effectiveThreads = ClampThreads(p.numThreads);
        if (h.profile > kBaselineProfile)
            return kSetupRefused;

        c.newParamSets = 0;
        c.framesOut = 0;
        c.paramsSet = 1;
        c.splitterNeedsFeed = 1;
        c.splitter->ResetReport();
        QL_TRACE(" - End\n");
        return kSetupDone;
    } catch (...) {
        WriteStreamDump();
        QL_TRACE("         Error Stream is saved - SetParam\n");
        return kSetupFailed;
    }
}

void decoder_reset(DecoderHandle& h, DecoderContext& c)
{
    QL_TRACE("    decoder_reset()");
    try {
        if (c.decoder)
            c.decoder->Close();
        DeleteCoreObjectsForReset(c);
        if (!CreateCoreObjects(c))
            return;
        c.paramsSet = 0;
        c.waitForIdr = 1;
        if (c.accumulating && c.accumBuffer) {
            QL_TRACE("7");
            c.accumBuffer.reset();
            c.accumCapacity = 0;
            c.accumBuffer.reset(new (std::nothrow) uint8_t[kAccumMinimum]);
            c.accumCapacity = c.accumBuffer ? kAccumMinimum : 0;
            c.accumLength = 0;
        }
        c.accumDecoded = false;
        c.expectedPieces = 1;
        c.piecesSinceReset = 0;
        // The new splitter starts empty; it must be fed before it is asked.
        c.splitterNeedsFeed = 1;
        if (c.spsLength)
            c.splitter->DeliverParameterSet(c.spsBytes, c.spsLength, *c.input);
        if (c.ppsLength)
            c.splitter->DeliverParameterSet(c.ppsBytes, c.ppsLength, *c.input);
        _SetParam(h, c);
    } catch (...) {
        WriteStreamDump();
        QL_TRACE("         Error Stream is saved - reset\n");
    }
}

} // namespace qlapi
