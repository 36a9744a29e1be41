// The sound output of local playback: the sample ring the players fill and
// the system's default audio output that drains it (Qt Multimedia's
// QAudioSink pulling 22 050 Hz mono signed 16-bit PCM). Mute silences only
// this output; the system mixer is never changed. Without an output device,
// or when the device cannot be started, the player stays silent: the ring
// still works and every other call does nothing, without a message.
#pragma once

#include "AudioRing.h"
#include "storage/PlayerAudio.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tarnvik {

class CAudioPlayer : public QObject, public PlayerAudio {
public:
    // Construct on the user-interface thread: the device lives on the
    // thread that creates the player. Opens the default output, starts it
    // paused with nothing queued, and allocates the ring.
    explicit CAudioPlayer(QObject* parent = nullptr);
    // Stops the device. Destroy on the thread that created the player.
    ~CAudioPlayer() override;

    // The ring, from any thread. Append drops what does not fit into a full
    // ring (over two minutes of sound not yet played), so nothing queued
    // earlier is ever overwritten.
    void Clear() override;
    void Append(const uint8_t* pcm, size_t bytes) override;
    size_t Count() const override;

    // From any thread. Called on another thread, or from within a refill,
    // they run later, in call order, on the player's own thread.
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void SetMuted(bool muted);

    // From any thread. The refill runs on the thread the device reads on,
    // with the output's lock held. SetRefill waits until a refill that is running
    // has returned, so once it returns the old refill is never called
    // again: do not call it while holding a lock the refill takes.
    void SetRefill(std::function<void()> refill) override;

    // Whether a device was opened and started.
    bool HasDevice() const { return output_ != nullptr; }

private:
    struct Output;
    // Runs `fn` now when on the player's own thread and not inside a read of
    // the device, otherwise queues it to that thread. Does nothing without
    // a device.
    void OnOwnThread(std::function<void()> fn);

    AudioRing ring_; // outlives output_, which reads from it
    std::unique_ptr<Output> output_;
};

} // namespace tarnvik
