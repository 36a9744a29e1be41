// QL_H264dec_GetOneFrame: parameter-set checks, waiting for an IDR picture,
// the stream-dump copy, handing the access unit to the core (whole, through
// the splitter, or accumulated from pieces) and the output conversion.
#include "AccessUnitSplitter.h"
#include "ApiTrace.h"
#include "ColorConversion.h"
#include "DecoderContext.h"
#include "StreamDump.h"

#include "core/BitReader.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <new>

namespace qlapi {

// Thrown to the outermost handler with the marker of the stage that faulted.
// (Outside the anonymous namespace so that their type information stays
// hidden with the rest of the library.)
struct StageFault {
    int marker;
};
// Raised by the test hook in place of a fault of the core.
struct InjectedFault {};

namespace {

// Process-wide like the stream-dump ring: the type of the last input that
// took part in accumulation, -1 after a picture. Atomic only so that handles
// on different threads do not race in the C++ sense; it is not a lock.
std::atomic<int> g_lastNalType{-1};

// Bounds on loops whose exit depends on the core: a core that never reports
// a picture must not hold the caller's thread.
constexpr int kMaxCatchUpPasses = 64;
constexpr int kMaxDecodePasses = 64;

// Result of a call that ended in the outermost handler: none of the values
// that make the viewer show a picture or call again.
constexpr int32_t kFaultResult = -2;

enum Status : int32_t {
    kNoInput = 0,
    kSpsTooLong = 1,
    kSpsChanged = 2,
    kFirstSpsStored = 3,
    kPpsTooLong = 4,
    kPpsChanged = 5,
    kFirstPpsStored = 6,
    kSeiOnly = 7,
    kWaitingForIdr = 8,
    kSetupRan = 9,
    kRepeatedParameterSet = 10,
    kAccumulationReplaced = 11,
    kSplitterEmpty = 12,
    kSplitterNewParameterSets = 13,
    kSplitterOneParameterSet = 14,
    kFaultInDecoding = 15,
    kIncompleteKept = 16,
    kNeedsMoreData = 17,
    kCoreError = 18,
    kNoStartCode = 19,
    kPictureDelivered = 20,
    kPictureDeliveredMoreHeld = 21,
};

constexpr int kNalSei = 6;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
constexpr int kNalIdrSlice = 5;

// Units the decoder reads nothing from, wherever they stand: SEI, access
// unit delimiters, end of sequence and of stream, filler data.
bool IsSkippedUnit(int type)
{
    return type == kNalSei || (type >= 9 && type <= 12);
}

bool EndsStream(int type)
{
    return type == 10 || type == 11;
}

// Runs one stage of the call; a fault inside it is reported with the stage's
// marker and passed on to the call's outermost handler as that number.
template <typename Step>
auto Stage(int marker, Step&& step) -> decltype(step())
{
    try {
        return step();
    } catch (...) {
        QL_TRACE("%d_______________________________________________________________", marker);
        throw StageFault{marker};
    }
}

double NowNanoseconds()
{
    using namespace std::chrono;
    return double(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

int32_t Finish(DecoderContext& c, int32_t status, int32_t result)
{
    c.lastStatus = status;
    return result;
}

// The id of a stored or incoming SPS or PPS (the unit starts with its 4-byte
// start code), or -1 when it cannot be read.
int ParameterSetId(const uint8_t* unit, size_t length, bool isSps)
{
    // The id sits in the first bytes; emulation prevention is removed from
    // a short prefix only.
    uint8_t prefix[16];
    size_t n = 0;
    int zeros = 0;
    for (size_t i = 5; i < length && n < sizeof prefix; ++i) {
        if (zeros >= 2 && unit[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = unit[i] == 0 ? zeros + 1 : 0;
        prefix[n++] = unit[i];
    }
    QLMedia::BitReader br(prefix, n);
    if (isSps)
        br.Skip(24); // profile_idc, constraint flags, level_idc
    const uint32_t id = br.ReadUe();
    return br.Error() ? -1 : int(id);
}

// Handles an SPS or PPS at the current position. True when the call ends
// here, with the result in *result. *passOn is set for a set the core must
// read from this input (see below).
bool HandleParameterSet(DecoderHandle& h, DecoderContext& c, bool isSps, const uint8_t* unit, size_t remaining,
                        size_t unitLength, bool last, int32_t* result, bool* passOn)
{
    uint8_t* stored = isSps ? c.spsBytes : c.ppsBytes;
    uint32_t& storedLength = isSps ? c.spsLength : c.ppsLength;
    if (unitLength >= kParamSetRoom) {
        *result = Finish(c, isSps ? kSpsTooLong : kPpsTooLong, -1);
        return true;
    }
    if (storedLength == 0) {
        std::memcpy(stored, unit, unitLength);
        storedLength = uint32_t(unitLength);
        c.newParamSets |= isSps ? 1 : 2;
        if (!last)
            return false;
        Stage(isSps ? 100 : 200, [&] {
            // An SPS stored earlier in the same input was not handed over yet;
            // the setup needs it beside the PPS.
            if (!isSps && c.spsLength && !c.splitter->HasParameterSet(7))
                c.splitter->DeliverParameterSet(c.spsBytes, c.spsLength, *c.input);
            c.splitter->DeliverParameterSet(stored, storedLength, *c.input);
        });
        *result = isSps ? Finish(c, kFirstSpsStored, 2) : Finish(c, kFirstPpsStored, _SetParam(h, c));
        return true;
    }
    // The stored length's worth of bytes decides; a unit that ends earlier
    // than that within the input differs.
    if (remaining < storedLength || std::memcmp(unit, stored, storedLength) != 0) {
        // Only an SPS that changes under its own id starts a new stream for
        // the caller (-5: re-create the decoder). A set with another id, or a
        // PPS rewritten under its id, is part of the stream as it goes on:
        // re-creating the decoder for it would lose the reference pictures,
        // so the core reads it like any other unit.
        const bool newStream = isSps && ParameterSetId(unit, unitLength, true) == ParameterSetId(stored, storedLength, true);
        if (newStream) {
            *result = Finish(c, isSps ? kSpsChanged : kPpsChanged, -5);
            return true;
        }
        *passOn = true;
        if (!last)
            return false;
        Stage(isSps ? 100 : 200, [&] {
            PointAtUnits(*c.input, unit, unitLength);
            c.decoder->GetFrame(c.input.get(), c.output.get());
            c.EmptyInput();
        });
        *result = Finish(c, kRepeatedParameterSet, 4);
        return true;
    }
    if (last) {
        *result = Finish(c, kRepeatedParameterSet, 4);
        return true;
    }
    return false;
}

// The output VideoData's picture into the caller's buffer.
void DeliverPicture(DecoderHandle& h, DecoderContext& c, uint8_t* output)
{
    const double convertStart = NowNanoseconds();
    if (output && c.output->Width() <= c.pictureWidth && c.output->Height() <= c.pictureHeight) {
        QL_TRACE("    _color_conversion()");
        // In bands that the decoder's own thread (when it has one) takes a
        // share of while it waits for the next picture: each worth more
        // than fetching it (about a quarter of a million pixels copied, or
        // a sixteenth of that turned into colour).
        const int64_t pixels = int64_t(c.output->Width()) * c.output->Height();
        const int64_t band = h.outputFormat >= 2 ? 65536 : 262144;
        const int parts = int(std::min<int64_t>(32, std::max<int64_t>(1, pixels / band)));
        c.decoder->RunInParts(parts, [&](int part, int count) {
            ConvertPart(h.outputFormat, *c.output, output, part, count);
        });
        QL_TRACE(" - End\n");
    }
    h.convertTicks += NowNanoseconds() - convertStart;
    ++c.framesOut;
}

size_t Smaller(size_t a, size_t b)
{
    return a < b ? a : b;
}

int32_t GetOneFrameSteps(DecoderHandle& h, DecoderContext& c, const uint8_t* bitstream, uint32_t length,
                         uint8_t* output)
{
    QL_TRACE("    QL_H264dec_GetOneFrame()");
    QL_TRACE("         pBitstream: 0x%" PRIXPTR ", nBitstreamLen:%d\n", reinterpret_cast<uintptr_t>(bitstream),
             int(length));
    c.lastStatus = -1;
    if (!bitstream || length == 0)
        return Finish(c, kNoInput, -3);
    if (!c.HasCoreObjects())
        return kFaultResult; // a reset could not rebuild the decoder
    if (HasShortStartCode(bitstream, length)) {
        const size_t needed = size_t(length) + length / 3 + 1;
        if (needed > UINT32_MAX)
            return Finish(c, kNoStartCode, 4);
        if (needed > c.longCodesCapacity) {
            // Nothing may point into the old copy once it is gone.
            const auto held = reinterpret_cast<uintptr_t>(c.input->GetDataPointer());
            const auto copy = reinterpret_cast<uintptr_t>(c.longCodes.get());
            if (c.longCodes && held >= copy && held - copy < c.longCodesCapacity)
                c.EmptyInput();
            c.longCodes.reset(new uint8_t[needed]);
            c.longCodesCapacity = needed;
        }
        length = uint32_t(WithLongStartCodes(bitstream, length, c.longCodes.get()));
        bitstream = c.longCodes.get();
    }

    QL_TRACE(" _GetOneNALU0()");
    size_t pos = 0;
    size_t unitLength = 0;
    if (_GetOneNALU(bitstream, length, &pos, &unitLength) == kNaluNone || length - pos <= 4)
        return Finish(c, kNoStartCode, 4);
    size_t remaining = length - pos;

    // Parameter sets and SEI at the front of the input. The core's range
    // starts at the first set it has to read itself.
    int type = 0;
    size_t coreStart = SIZE_MAX;
    for (;;) {
        const uint8_t* unit = bitstream + pos;
        type = NalUnitType(unit, remaining);
        if (type != kNalSps && type != kNalPps && !IsSkippedUnit(type))
            break;
        if (type == kNalSps)
            QL_TRACE(" _GetOneNALU1()");
        else if (type == kNalPps)
            QL_TRACE(" _GetOneNALU2()");
        size_t unitStart = 0;
        const bool last = _GetOneNALU(unit, remaining, &unitStart, &unitLength) != kNaluFollowed;
        if (IsSkippedUnit(type)) {
            // The end of a sequence or of the stream, given alone, hands out
            // a picture the core still holds (from two threads on it gives
            // each out one access unit late).
            if (last && EndsStream(type) && c.paramsSet)
                break;
            if (last)
                return Finish(c, kSeiOnly, 4);
        } else {
            int32_t result = 0;
            bool passOn = false;
            if (HandleParameterSet(h, c, type == kNalSps, unit, remaining, unitLength, last, &result, &passOn))
                return result;
            if (passOn && coreStart == SIZE_MAX)
                coreStart = pos;
        }
        if (c.newParamSets == 3) {
            Stage(300, [&] {
                c.splitter->DeliverParameterSet(c.spsBytes, c.spsLength, *c.input);
                c.splitter->DeliverParameterSet(c.ppsBytes, c.ppsLength, *c.input);
            });
            return Finish(c, kSetupRan, _SetParam(h, c));
        }
        pos += unitLength; // not the last unit, so unitLength < remaining
        remaining -= unitLength;
    }

    if (c.waitForIdr) {
        if (type != kNalIdrSlice)
            return Finish(c, kWaitingForIdr, 4);
        c.waitForIdr = 0;
    }

    RecordInDumpRing(bitstream, length, type == kNalIdrSlice);

    if (coreStart != SIZE_MAX) {
        remaining += pos - coreStart;
        pos = coreStart;
    }
    const uint8_t* range = bitstream + pos;
    const size_t rangeLength = remaining;
    size_t nextStart = 0;
    size_t firstLength = 0;
    bool lastPiece = _GetOneNALU(range, rangeLength, &nextStart, &firstLength) != kNaluFollowed ||
                     c.effectiveThreads == 1 || c.effectiveThreads == 2;
    // The splitter is fed only when it will be asked for this input; input
    // too large for its staging buffer is decoded in place instead of cut.
    if (!lastPiece && c.effectiveThreads != 1 && c.splitterNeedsFeed && !c.splitter->CanAccept(rangeLength))
        lastPiece = true;
    const bool whole = c.effectiveThreads == 1 || lastPiece;

    if (c.splitterNeedsFeed && !whole) {
        Stage(400, [&] {
            if (c.splitter->Holds(c.input->GetDataPointer()))
                c.EmptyInput(); // what it pointed at is about to be overwritten
            c.splitter->Feed(range, rangeLength);
        });
        c.splitterNeedsFeed = 0;
    }
    Stage(500, [&] { c.decoder->SetLastPiece(lastPiece); });
    if (whole)
        Stage(600, [&] { PointAtUnits(*c.input, range, rangeLength); });

    if (c.accumulating) {
        if (g_lastNalType.load(std::memory_order_relaxed) != type && c.piecesSinceReset < c.expectedPieces) {
            const size_t n = Smaller(rangeLength, c.accumCapacity);
            if (n)
                std::memcpy(c.accumBuffer.get(), range, n);
            c.accumLength = n;
            ++c.piecesSinceReset;
            g_lastNalType.store(type, std::memory_order_relaxed);
            return Finish(c, kAccumulationReplaced, 4);
        }
        // Data beyond accumBuffer is dropped rather than written past it.
        const size_t n = Smaller(rangeLength, c.accumCapacity - c.accumLength);
        if (n)
            std::memcpy(c.accumBuffer.get() + c.accumLength, range, n);
        c.accumLength += n;
        Stage(700, [&] { PointAtUnits(*c.input, c.accumBuffer.get(), c.accumLength); });
        c.piecesSinceReset = 0;
        g_lastNalType.store(type, std::memory_order_relaxed);
    }

    for (int pass = 0;; ++pass) {
        if (pass == kMaxDecodePasses)
            return Finish(c, kNeedsMoreData, 4);

        if (c.input->GetDataSize() < 3 && !c.splitterNeedsFeed && c.effectiveThreads != 1 && !lastPiece) {
            const bool delivered = Stage(900, [&] { return c.splitter->GetData(*c.input); });
            if (!delivered) {
                c.splitterNeedsFeed = 1;
                return Finish(c, kSplitterEmpty, 4);
            }
            const int32_t report = Stage(1000, [&] { return c.splitter->Report(); });
            // Once the setup has run, new parameter sets inside a unit are the
            // stream going on: the core reads them with the unit's pictures,
            // which would otherwise be lost.
            if (report == 3 && !c.paramsSet)
                return Finish(c, kSplitterNewParameterSets, _SetParam(h, c));
            if ((report == 1 || report == 2) && !c.paramsSet)
                return Finish(c, kSplitterOneParameterSet, 4);
        }

        if (c.accumulating && !c.accumDecoded) {
            QL_TRACE("         h264Decoder->GetFrame() - while\n");
            Stage(1100, [&] {
                for (int i = 0; i < kMaxCatchUpPasses; ++i) {
                    if (c.decoder->GetFrame(c.input.get(), c.output.get()) == QLMedia::QL_OK)
                        break;
                }
            });
            c.accumDecoded = true;
        }

        int32_t decoded = 0;
        const double start = NowNanoseconds();
        try {
            if (c.faultCountdown > 0 && --c.faultCountdown == 0)
                throw InjectedFault{};
            decoded = c.decoder->GetFrame(c.input.get(), c.output.get());
        } catch (...) {
            h.decodeTicks += NowNanoseconds() - start;
            WriteStreamDump();
            QL_TRACE("         Error Stream is saved - QL_H264dec_GetOneFrame0\n");
            decoder_reset(h, c);
            c.waitForIdr = 1;
            return Finish(c, kFaultInDecoding, 4);
        }
        h.decodeTicks += NowNanoseconds() - start;
        QL_TRACE("         h264Decoder->GetFrame()\n");
        // An access unit from the splitter is handed to the core once, even
        // by a core that leaves the data pointer where it was.
        if (!whole && c.splitter->Holds(c.input->GetDataPointer()))
            c.EmptyInput();

        if (decoded == QLMedia::QL_OK) {
            g_lastNalType.store(-1, std::memory_order_relaxed);
            DeliverPicture(h, c, output);
            return whole ? Finish(c, kPictureDelivered, 0) : Finish(c, kPictureDeliveredMoreHeld, 5);
        }
        if (decoded == QLMedia::H264_INCOMPLETE_PICTURE) {
            if (!c.accumBuffer) {
                const size_t size = rangeLength > kAccumMinimum ? rangeLength : kAccumMinimum;
                c.accumBuffer.reset(new (std::nothrow) uint8_t[size]);
                c.accumCapacity = c.accumBuffer ? size : 0;
            }
            const size_t n = Smaller(rangeLength, c.accumCapacity);
            if (n)
                std::memcpy(c.accumBuffer.get(), range, n);
            c.accumLength = n;
            c.accumulating = c.accumBuffer != nullptr;
            g_lastNalType.store(type, std::memory_order_relaxed);
            const int32_t pieces = c.decoder->ExpectedPieces();
            c.expectedPieces = pieces > 0 ? pieces : 1;
            c.piecesSinceReset = 1;
            return Finish(c, kIncompleteKept, 4);
        }
        if (decoded == QLMedia::QL_ERR_NOT_ENOUGH_DATA) {
            if (whole)
                return Finish(c, kNeedsMoreData, 4);
            continue;
        }
        // From two threads on the core still holds the picture of the access
        // unit before: it is given out before the reset forgets it, so that
        // a damaged stream shows the same pictures at every thread count.
        bool held = false;
        if (c.effectiveThreads > 1) {
            try {
                held = c.decoder->TakeHeldPicture(c.output.get()) == QLMedia::QL_OK;
            } catch (...) {
                held = false; // the reset below follows anyway
            }
            if (held)
                DeliverPicture(h, c, output);
        }
        decoder_reset(h, c);
        c.waitForIdr = 1;
        return Finish(c, kCoreError, held ? 0 : 4);
    }
}

int32_t OutermostHandler(int marker)
{
    QL_TRACE("%d      -----------------------------------------------------\n", marker);
    WriteStreamDump();
    QL_TRACE("         Error Stream is saved - QL_H264dec_GetOneFrame1\n");
    return kFaultResult;
}

// The input MediaData never keeps a pointer into the caller's bytes past the
// call: the caller may free them, and a later call must not decode them.
void ReleaseCallerInput(DecoderContext& c)
{
    if (!c.input || !c.input->GetDataPointer())
        return;
    const uint8_t* p = c.input->GetDataPointer();
    const bool inSplitter = c.splitter && c.splitter->Holds(p);
    const auto address = reinterpret_cast<uintptr_t>(p);
    const auto accum = reinterpret_cast<uintptr_t>(c.accumBuffer.get());
    const bool inAccum = c.accumBuffer && address >= accum && address - accum <= c.accumCapacity;
    if (!inSplitter && !inAccum)
        c.EmptyInput();
}

} // namespace
} // namespace qlapi

extern "C" QL_H264DEC_API int32_t QL_H264dec_GetOneFrame(DecoderHandle* handle, const uint8_t* bitstream,
                                                         uint32_t length, uint8_t* output)
{
    if (!handle || !handle->context)
        return qlapi::kFaultResult;
    auto& c = *static_cast<qlapi::DecoderContext*>(handle->context);
    int32_t result = qlapi::kFaultResult;
    try {
        result = qlapi::GetOneFrameSteps(*handle, c, bitstream, length, output);
    } catch (const qlapi::StageFault& fault) {
        result = qlapi::OutermostHandler(fault.marker);
    } catch (...) {
        result = qlapi::OutermostHandler(0);
    }
    qlapi::ReleaseCallerInput(c);
    return result;
}
