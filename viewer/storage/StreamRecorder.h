// The stream recorder: keeps what the DVR sends, byte for byte, in `.avs`
// files (an 8-byte StreamFileHeader, then every frame block as received).
// One per program, shared by live view and remote playback: it records in
// the mode it was started in and ignores the other mode's frames.
//
// Threads: Start and Stop run on the user-interface thread, WriteFrame on
// the command task; the recorder's own lock serialises them, so a write
// never meets a file that Stop is closing.
#pragma once

#include "net/Notifier.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace tarnvik {

inline constexpr uint64_t kRolloverBytes = 1024000000; // 0x3D090000
inline constexpr const char* kCantMakeDirectory = "Can't make directory!";
inline constexpr const char* kCantOpenFile = "Can't open file!";

struct ViewerState;

class StreamRecorder {
public:
    StreamRecorder(ViewerState& state, Notifier& notifier, uint64_t rolloverBytes = kRolloverBytes);
    ~StreamRecorder();

    // The folder recordings go to (the profile's RecPath, ending in '/').
    void SetFolder(const std::string& recPath);
    // Starts recording in `kind` (kModeLive or kModeRemotePlayback); a
    // recording in another mode is closed first; nothing happens when it
    // already records in that mode. False when no file could be opened (the
    // user has been told why).
    bool StartRecording(int kind);
    void StopRecording();
    bool IsRecording(int kind) const;
    // Appends one frame block when the recorder records in `mode`.
    void WriteFrame(const uint8_t* block, size_t size, int mode);

    std::string CurrentPath() const;
    uint64_t Written() const;
    // Called (from the thread that caused it) when recording starts or stops,
    // rollover included; the window follows it with the REC mark.
    std::function<void(int kind)> onStateChanged;
};

} // namespace tarnvik
