#include "AudioRing.h"

#include <algorithm>
#include <cstring>

namespace tarnvik {

AudioRing::AudioRing() : data_(std::make_unique_for_overwrite<uint8_t[]>(kCapacity)) {}

size_t AudioRing::Append(const uint8_t* bytes, size_t count)
{
    if (!bytes)
        return 0;
    std::lock_guard guard(lock_);
    const size_t room = kCapacity - size_t(writePos_ - readPos_);
    const size_t n = std::min(count, room);
    const size_t at = size_t(writePos_ % kCapacity);
    const size_t first = std::min(n, kCapacity - at);
    std::memcpy(data_.get() + at, bytes, first);
    std::memcpy(data_.get(), bytes + first, n - first);
    writePos_ += n;
    return n;
}

size_t AudioRing::Take(uint8_t* into, size_t count)
{
    if (!into)
        return 0;
    std::lock_guard guard(lock_);
    const size_t n = std::min(count, size_t(writePos_ - readPos_));
    const size_t at = size_t(readPos_ % kCapacity);
    const size_t first = std::min(n, kCapacity - at);
    std::memcpy(into, data_.get() + at, first);
    std::memcpy(into + first, data_.get(), n - first);
    std::memset(into + n, 0, count - n);
    readPos_ += n;
    return n;
}

size_t AudioRing::Count() const
{
    std::lock_guard guard(lock_);
    return size_t(writePos_ - readPos_);
}

void AudioRing::Clear()
{
    std::lock_guard guard(lock_);
    readPos_ = 0;
    writePos_ = 0;
}

} // namespace tarnvik
