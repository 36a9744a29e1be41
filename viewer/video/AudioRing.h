// The sample ring between the players and the sound output: the player
// threads append block audio (22 050 Hz, mono, signed 16-bit little-endian
// PCM), the output side takes it in play order. Every operation takes the
// ring's own lock, so any thread may call any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tarnvik {

class AudioRing {
public:
    // 5 MiB: about two minutes of sound at 44 100 bytes per second.
    static constexpr size_t kCapacity = 5242880;

    // Allocates the storage once (std::bad_alloc when that fails).
    AudioRing();
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    // Copies up to `count` bytes behind what the ring holds and returns how
    // many it took. Bytes not yet taken are never overwritten: a full ring
    // takes only what fits (possibly 0), and the caller may offer the rest
    // again once the output has taken some. A null `bytes` takes nothing.
    size_t Append(const uint8_t* bytes, size_t count);

    // Moves up to `count` bytes, oldest first, into `into` and returns how
    // many came from the ring; the rest of the `count` bytes of `into` are
    // filled with silence (zeros), never with stale bytes. A null `into`
    // takes nothing.
    size_t Take(uint8_t* into, size_t count);

    // The bytes appended and not yet taken: exact across the end of the
    // storage, 0 once everything appended has been taken.
    size_t Count() const;

    // Forgets everything the ring holds.
    void Clear();

private:
    mutable std::mutex lock_;
    // Guarded by lock_. The positions count bytes since the last Clear, so
    // the read position can reach the write position but never pass it,
    // and their difference is the exact fill also when the storage is full.
    // Each is reduced modulo kCapacity only to index the storage.
    uint64_t readPos_ = 0;
    uint64_t writePos_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

} // namespace tarnvik
