// The private decoder context behind DecoderHandle::context, and the steps
// that create, reset and set it up.
#pragma once

#include "AccessUnitSplitter.h"
#include "Quorlin_H264_Dec.h"
#include "core/Framework.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qlapi {

constexpr size_t kParamSetRoom = 256;        // bytes kept per parameter set; at most 255 stored
constexpr size_t kAccumMinimum = 1048576;    // accumBuffer is at least 1 MiB
constexpr int32_t kColourFormatYuv420 = 5;
constexpr int32_t kStreamTypeH264 = 384;
constexpr int32_t kBaselineProfile = 66;

// Results of _SetParam.
constexpr int32_t kSetupDone = 1;
constexpr int32_t kSetupFailed = -1;
constexpr int32_t kSetupRefused = -6;

struct DecoderContext {
    // The six core objects, in the order of their creation.
    std::unique_ptr<QLMedia::H264VideoDecoder> decoder;
    std::unique_ptr<QLMedia::VideoDecoderParams> params;
    std::unique_ptr<QLMedia::DataPointersCopy> postProcessing;
    std::unique_ptr<QLMedia::MediaDataEx> input; // points at someone else's bytes
    std::unique_ptr<QLMedia::VideoData> output;  // points at the decoded frame's planes
    std::unique_ptr<AccessUnitSplitter> splitter;

    int32_t framesOut = 0;
    int32_t paramsSet = 0;
    int32_t splitterNeedsFeed = 1;
    int32_t newParamSets = 0; // bit 0: a new SPS was stored; bit 1: a new PPS
    uint8_t spsBytes[kParamSetRoom] = {};
    uint32_t spsLength = 0;
    uint8_t ppsBytes[kParamSetRoom] = {};
    uint32_t ppsLength = 0;
    int32_t colourFormatCode = kColourFormatYuv420;
    int32_t bitDepth = 8;
    int32_t waitForIdr = 1;
    int32_t effectiveThreads = 1;
    std::unique_ptr<uint8_t[]> accumBuffer;
    size_t accumCapacity = 0;
    // Input whose start codes are 00 00 01 is copied here with 00 00 00 01
    // in their place, so everything after the entry sees one form. Grows to
    // the largest such input and is reused.
    std::unique_ptr<uint8_t[]> longCodes;
    size_t longCodesCapacity = 0;
    size_t accumLength = 0;
    bool accumulating = false;
    bool accumDecoded = false;
    int32_t expectedPieces = 1;
    int32_t piecesSinceReset = 0;
    int32_t lastStatus = -1;
    // The displayed size announced by the last successful parameter setup.
    // The caller sized its buffer for it, so a larger picture (from an SPS
    // that reached the core inside an access unit) is never written.
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;

    // Test hook: when positive, the frame decoding call with this number
    // (counting from 1 over the context's life) raises a fault. Read from
    // QL_H264DEC_TEST_FAULT when the context is created.
    int64_t faultCountdown = 0;

    bool HasCoreObjects() const
    {
        return decoder && params && postProcessing && input && output && splitter;
    }

    // Leaves the input MediaData pointing at nothing.
    void EmptyInput()
    {
        if (!input)
            return;
        input->SetBufferPointer(nullptr, 0);
        input->unitOffsets.clear();
        input->unitTypes.clear();
    }
};

// Creates the six core objects in order and stores each; stops at the first
// that cannot be created and returns false.
bool CreateCoreObjects(DecoderContext& context);

// Deletes the core objects in creation order (decoder first), as the reset
// does, each between its trace digit and "-End".
void DeleteCoreObjectsForReset(DecoderContext& context);

// The one-shot parameter setup: 1, -6 (profile_idc above 66) or -1.
int32_t _SetParam(DecoderHandle& handle, DecoderContext& context);

// Recreates the core objects after an error and sets them up again from the
// stored parameter sets; the decoder then waits for an IDR picture.
void decoder_reset(DecoderHandle& handle, DecoderContext& context);

// Reads QL_H264DEC_TEST_FAULT (a positive call number, or nothing).
int64_t TestFaultFromEnvironment();

} // namespace qlapi
