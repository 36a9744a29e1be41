#include "AudioOutput.h"

#include "AudioRing.h"

#include <algorithm>
#include <cstring>

namespace tarnvik {

AudioOutput::AudioOutput(AudioRing& ring, AudioDevice& device) : ring_(ring), device_(device)
{
    for (auto& b : buffers_)
        b.resize(kBufferBytes);
}

void AudioOutput::SetRefill(std::function<void()> refill)
{
    refill_ = std::move(refill);
}

void AudioOutput::TakeAndQueue(int buffer, size_t bytes)
{
    // A Clear racing between Count and Take leaves silence in the buffer,
    // which still keeps the chain of buffers going.
    uint8_t* data = buffers_[size_t(buffer)].data();
    ring_.Take(data, bytes);
    queued_[size_t(buffer)] = true;
    device_.Queue(buffer, data, bytes);
}

void AudioOutput::Prime()
{
    for (int b = 0; b < kBuffers; ++b) {
        if (!queued_[size_t(b)])
            TakeAndQueue(b, kPrimeBytes);
    }
    device_.Pause();
}

void AudioOutput::Pause()
{
    device_.Pause();
}

void AudioOutput::Resume()
{
    if (std::find(queued_.begin(), queued_.end(), false) != queued_.end())
        Prime();
    device_.Resume();
}

void AudioOutput::Reset()
{
    device_.Reset();
    queued_.fill(false);
}

void AudioOutput::Completed(int buffer)
{
    if (buffer < 0 || buffer >= kBuffers || !queued_[size_t(buffer)])
        return;
    queued_[size_t(buffer)] = false;
    if (ring_.Count() < 1) {
        // A copy, so a refill that replaces itself through SetRefill is not
        // destroyed while it runs.
        if (auto refill = refill_)
            refill();
        if (ring_.Count() > 0)
            TakeAndQueue(buffer, kPrimeBytes);
        return;
    }
    TakeAndQueue(buffer, std::min(ring_.Count(), kBufferBytes));
}

bool AudioOutput::Queued(int buffer) const
{
    return buffer >= 0 && buffer < kBuffers && queued_[size_t(buffer)];
}

void QueuedPcm::Queue(int buffer, const uint8_t* pcm, size_t bytes)
{
    queue_.push_back({buffer, pcm, bytes, 0});
}

void QueuedPcm::Drop()
{
    queue_.clear();
}

size_t QueuedPcm::Read(uint8_t* into, size_t count, const std::function<void(int buffer)>& completed)
{
    size_t done = 0;
    while (done < count && !queue_.empty()) {
        Entry& e = queue_.front();
        const size_t n = std::min(e.bytes - e.offset, count - done);
        std::memcpy(into + done, e.pcm + e.offset, n);
        e.offset += n;
        done += n;
        if (e.offset == e.bytes) {
            const int buffer = e.buffer;
            queue_.pop_front();
            if (completed)
                completed(buffer);
        }
    }
    std::memset(into + done, 0, count - done);
    return count;
}

} // namespace tarnvik
