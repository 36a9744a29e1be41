// How the sound output drains the sample ring, without any sound device:
// two output buffers alternate, each taken from the ring and queued on the
// device; when one has been played it is refilled and queued again, and
// when the ring has run dry the player's refill is asked for more first.
// QueuedPcm is the device side: it hands out the queued buffers in order,
// silence when none is queued, and reports each buffer it finishes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace tarnvik {

class AudioRing;

// What AudioOutput drives.
class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Plays `bytes` bytes at `pcm` after everything queued before. The
    // memory stays valid and unchanged until the device reports `buffer`
    // completed or is reset.
    virtual void Queue(int buffer, const uint8_t* pcm, size_t bytes) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Forgets every queued buffer without reporting it completed.
    virtual void Reset() = 0;
};

// Not thread-safe: the owner calls every operation, including Completed,
// from one thread at a time (CAudioPlayer holds its output lock).
class AudioOutput {
public:
    static constexpr int kBuffers = 2;
    // Two seconds of sound: the most one buffer carries.
    static constexpr size_t kBufferBytes = 88200;
    // What a primed buffer and a buffer refilled after a dry ring carry.
    static constexpr size_t kPrimeBytes = 8000;

    // Both references must outlive the output. The buffers start idle.
    AudioOutput(AudioRing& ring, AudioDevice& device);

    // The routine asked for more sound when a buffer has finished and the
    // ring is empty (empty for none). It is called from Completed.
    void SetRefill(std::function<void()> refill);

    // Takes kPrimeBytes from the ring into every idle buffer, whatever the
    // ring holds (a short ring leaves silence in the rest), queues them and
    // pauses the device. A buffer still queued keeps its place.
    void Prime();
    void Pause();
    // Primes first when any buffer is idle, then resumes the device.
    void Resume();
    // Resets the device; every buffer becomes idle.
    void Reset();

    // The device has finished `buffer`. With an empty ring the refill runs
    // first; if the ring then holds sound the buffer is queued again with
    // kPrimeBytes, else it stays idle until the next Prime. With sound in
    // the ring the buffer is queued again with what it holds, at most
    // kBufferBytes. A buffer that is not queued is ignored.
    void Completed(int buffer);

    bool Queued(int buffer) const;

private:
    void TakeAndQueue(int buffer, size_t bytes);

    AudioRing& ring_;
    AudioDevice& device_;
    std::function<void()> refill_;
    std::array<std::vector<uint8_t>, kBuffers> buffers_;
    std::array<bool, kBuffers> queued_{};
};

// The queued buffers as one endless byte stream.
class QueuedPcm {
public:
    void Queue(int buffer, const uint8_t* pcm, size_t bytes);
    // Forgets every queued buffer.
    void Drop();
    bool Empty() const { return queue_.empty(); }

    // Fills `into` with `count` bytes: the queued buffers in order, then
    // silence. A buffer read to its end is removed and `completed(buffer)`
    // called at once, which may queue more that the same call goes on to
    // read. Always returns `count`.
    size_t Read(uint8_t* into, size_t count, const std::function<void(int buffer)>& completed);

private:
    struct Entry {
        int buffer;
        const uint8_t* pcm;
        size_t bytes;
        size_t offset;
    };
    std::deque<Entry> queue_;
};

} // namespace tarnvik
