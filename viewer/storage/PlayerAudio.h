// The sound output as the players see it: a ring of PCM (22 050 Hz, mono,
// signed 16-bit little-endian) that a player fills with block audio, and
// the device that drains it. When the device has played everything the ring
// held it calls the refill that the player set, on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarnvik {

class PlayerAudio {
public:
    virtual ~PlayerAudio() = default;

    // The ring (any thread; the ring has its own lock).
    virtual void Clear() = 0;
    virtual void Append(const uint8_t* pcm, size_t bytes) = 0;
    virtual size_t Count() const = 0;

    // The device. Resume starts playing (priming it first when it is idle);
    // Pause holds it; Reset returns every queued buffer.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void Reset() = 0;

    // Called on the audio thread when the ring has run dry; empty for none.
    // Set while no refill can be running (before Resume, after Reset).
    virtual void SetRefill(std::function<void()> refill) = 0;
};

} // namespace tarnvik
