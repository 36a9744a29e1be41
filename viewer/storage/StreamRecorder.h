// The stream recorder: keeps what the DVR sends, byte for byte, in `.avs`
// files (an 8-byte StreamFileHeader, then every frame block as received).
// One per program, shared by live view and remote playback: it records in
// the mode it was started in and ignores the other mode's frames.
//
// Files are named by the local time of their start ("YYYYmmdd_HHMMSS.avs"
// in the folder); a name that already exists is never overwritten: the
// next free "_1", "_2", ... suffix is taken instead. A file ends after the
// frame block that takes it past the rollover size, and the recording goes
// on in a new file with its own header.
//
// A failed or short write ends the recording: the file is closed (what was
// written stays), the user is told kCantWriteFile and onStateChanged
// reports that nothing is recorded any more.
//
// Threads: Start, Stop and SetFolder run on the user-interface thread,
// WriteFrame on the command task; the recorder's own lock serialises them,
// so a write never meets a file that Stop is closing. IsRecording reads one
// atomic word and may be called from anywhere, also from onStateChanged.
// Neither the Notifier nor onStateChanged is called with that lock held.
#pragma once

#include "net/Notifier.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvik {

inline constexpr uint64_t kRolloverBytes = 1024000000; // 0x3D090000
inline constexpr const char* kCantMakeDirectory = "Can't make directory!";
inline constexpr const char* kCantOpenFile = "Can't open file!";
inline constexpr const char* kCantWriteFile = "Recording stopped: can't write file!";

struct ViewerState;

class StreamRecorder {
public:
    // `rolloverBytes`: a file ends after the frame block that takes its
    // frame data (the 8-byte header not counted) past this many bytes.
    StreamRecorder(ViewerState& state, Notifier& notifier, uint64_t rolloverBytes = kRolloverBytes);
    // Closes an open file without telling anyone (the owner is going away).
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // The folder recordings go to (the profile's RecPath; a trailing '/' is
    // optional). Used by the next file, a rollover's included.
    void SetFolder(const std::string& recPath);
    // Starts recording in `kind` (kModeLive or kModeRemotePlayback); a
    // recording in the other mode is closed first; nothing happens when it
    // already records in that mode (true). False when `kind` is neither mode
    // or no file could be made (the user has been told why:
    // kCantMakeDirectory, kCantOpenFile or kCantWriteFile). When the folder
    // is missing it is created, one level only.
    bool StartRecording(int kind);
    // Closes the file; the user is told kCantWriteFile when the last
    // buffered bytes could not be written.
    void StopRecording();
    bool IsRecording(int kind) const { return kind_.load() == kind; }
    // Appends one frame block (frame header, picture, audio) when the
    // recorder records in `mode`; other modes' blocks are ignored.
    void WriteFrame(const uint8_t* block, size_t size, int mode);

    // The file being written, or the last one written; empty before any.
    std::string CurrentPath() const;
    // Bytes of frame data in the current file (its header not counted).
    uint64_t Written() const;

    // Told the recorder's kind (0 = not recording) after every start, stop,
    // failure and rollover, on the thread that caused it. Calls are
    // serialised and each reports the kind current at its call, so the last
    // call always tells the truth. Set it before recording starts. It may
    // call IsRecording, CurrentPath, Written and even Start/Stop, but must
    // not wait for the command task (queue work to the user-interface thread
    // instead): the command task may be waiting to make a call of its own.
    std::function<void(int kind)> onStateChanged;

private:
    // What a locked operation leaves to be done once the lock is released.
    struct Events {
        bool stateChanged = false;
        std::vector<std::string> messages;
    };

    // Opens a new file for `kind` and writes its header (or defers it while
    // the stream variant is unknown). Lock held.
    bool OpenFile(int kind, Events& events);
    // Creates the first free name for the current time; -1 with errno set.
    int CreateUniqueFile(std::string& path) const;
    bool WriteHeader();
    // Closes the open file; a failed final write is reported. Lock held.
    void CloseFile(Events& events);
    // Closes after a write error and ends the recording. Lock held.
    void FailWrite(Events& events);
    void Deliver(const Events& events);

    ViewerState& state_;
    Notifier& notifier_;
    const uint64_t rolloverBytes_;

    mutable std::mutex lock_; // guards everything below but kind_'s reads
    std::recursive_mutex deliverLock_; // serialises onStateChanged calls
    std::atomic<int> kind_{0};         // written under lock_
    std::string folder_;
    FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_; // the file's write buffer, kept for every file
    bool headerPending_ = false;     // the stream variant was unknown at open
    std::string path_;
    uint64_t written_ = 0;
};

} // namespace tarnvik
