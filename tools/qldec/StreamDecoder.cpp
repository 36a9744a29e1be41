#include "StreamDecoder.h"

#include <algorithm>
#include <cstring>

namespace qldec {
namespace {

constexpr size_t kGuardBytes = 64;
constexpr uint8_t kGuardValue = 0xA5;

} // namespace

size_t PictureBytesFor(int format, int width, int height)
{
    const size_t w = size_t(std::max(width, 0));
    const size_t h = size_t(std::max(height, 0));
    switch (format) {
    case 0:
        return w * h + 2 * (w / 2) * (h / 2);
    case 1:
        return (w & ~size_t(1)) * (h & ~size_t(1)) * 2;
    case 2:
    case 3:
        return w * h * 3;
    default:
        return 0;
    }
}

StreamDecoder::StreamDecoder(int threads, int outputFormat, bool exactGuard) : exactGuard_(exactGuard)
{
    handle_.threads = threads;
    handle_.outputFormat = outputFormat;
}

StreamDecoder::~StreamDecoder()
{
    QL_H264dec_Uninit(&handle_);
}

bool StreamDecoder::Open()
{
    return QL_H264dec_Init(&handle_) == 0;
}

void StreamDecoder::NoteSps(const uint8_t* unit, size_t size)
{
    SpsPictureSize s;
    if (!ReadSpsPictureSize(unit, size, &s))
        return;
    // A picture the library still holds is of the size before: it is
    // handed out at that size before the next access unit is decoded.
    sizeChanges_ = size_.width > 0 && (s.width != size_.width || s.height != size_.height);
    nextSize_ = s;
    if (!sizeChanges_)
        size_ = s;
    maxCodedWidth_ = std::max(maxCodedWidth_, s.codedWidth);
    maxCodedHeight_ = std::max(maxCodedHeight_, s.codedHeight);
}

size_t StreamDecoder::PictureBytes() const
{
    if (size_.width > 0)
        return PictureBytesFor(handle_.outputFormat, size_.width, size_.height);
    // No SPS that qldec could read: the coded size bounds the picture.
    return PictureBytesFor(handle_.outputFormat, handle_.codedWidth, handle_.codedHeight);
}

size_t StreamDecoder::GuardStart() const
{
    if (exactGuard_)
        return PictureBytes();
    return std::max(PictureBytes(), PictureBytesFor(handle_.outputFormat, handle_.codedWidth, handle_.codedHeight));
}

// The library does not learn the buffer's size, so the buffer is sized for
// the largest coded picture of any SPS seen or reported, which bounds every
// displayed size, plus a guard zone that is checked after each picture.
void StreamDecoder::EnsureOutputRoom()
{
    const int w = std::max({maxCodedWidth_, int(handle_.codedWidth), size_.width, 16});
    const int h = std::max({maxCodedHeight_, int(handle_.codedHeight), size_.height, 16});
    const size_t need = size_t(w) * size_t(h) * 3 + kGuardBytes;
    if (output_.size() < need)
        output_.resize(need);
}

DecodeOutcome StreamDecoder::Decode(const uint8_t* accessUnit, size_t size, const PictureSink& onPicture)
{
    DecodeOutcome outcome;
    if (sizeChanges_) {
        sizeChanges_ = false;
        outcome = Flush(onPicture);
        size_ = nextSize_;
    }
    for (int call = 0;; ++call) {
        if (call == kMaxCallsPerAccessUnit) {
            outcome.gaveUp = true;
            break;
        }
        EnsureOutputRoom();
        const size_t guardStart = GuardStart();
        std::memset(output_.data() + guardStart, kGuardValue, kGuardBytes);
        const int32_t r = QL_H264dec_GetOneFrame(&handle_, accessUnit, uint32_t(size), output_.data());
        outcome.lastResult = r;
        outcome.lastStatus = QL_H264dec_GetLastStatus(&handle_);
        if (r == 1)
            continue;
        if (r == -5) {
            // The picture still held is of the stream that ends here.
            const DecodeOutcome held = Flush(onPicture);
            outcome.pictures += held.pictures;
            outcome.guardBroken = outcome.guardBroken || held.guardBroken;
            QL_H264dec_Uninit(&handle_);
            if (!Open()) {
                outcome.initFailed = true;
                break;
            }
            continue;
        }
        if (r == 0 || r == 5) {
            for (size_t i = 0; i < kGuardBytes; ++i) {
                if (output_[guardStart + i] != kGuardValue)
                    outcome.guardBroken = true;
            }
            ++outcome.pictures;
            if (onPicture)
                onPicture(output_.data(), PictureBytes());
            if (r == 5)
                continue;
            break;
        }
        if (r == -6)
            outcome.refused = true;
        break;
    }
    return outcome;
}

DecodeOutcome StreamDecoder::Flush(const PictureSink& onPicture)
{
    static const uint8_t kEndOfStream[] = {0, 0, 0, 1, 11};
    DecodeOutcome all;
    // One picture a call; more are held only after an input that held
    // several access units.
    for (int call = 0; call < kMaxCallsPerAccessUnit; ++call) {
        const DecodeOutcome one = Decode(kEndOfStream, sizeof kEndOfStream, onPicture);
        all.pictures += one.pictures;
        all.guardBroken = all.guardBroken || one.guardBroken;
        all.lastResult = one.lastResult;
        all.lastStatus = one.lastStatus;
        if (one.pictures == 0)
            break;
    }
    return all;
}

} // namespace qldec
