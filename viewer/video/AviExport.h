// AVI export of chosen channels: one AviWriter per exported channel, fed
// with each decoded picture of that channel on the thread that decoded it
// (a picture worker, the player thread), and started and stopped from the
// user-interface thread.
//
// Each picture is prepared before it is written: with the full-size
// setting a 640/720-wide picture becomes 576 (PAL) or 480 (NTSC) lines high
// and a 352/360-wide one 288 or 240 (nearest pixel); the channel's text
// line, "Cam-NN" and its time text, is drawn near the top-left corner in
// "Impact" (or the system font when it is missing).
//
// Files: the first file of channel c is "<prefix>_ch<c>_<n>.avi" in the
// chosen folder, where n counts up from 0 while a file of that name
// exists; past the continuation size the next file is that name followed
// by "0001.avi", "0002.avi", ... Each file's frame rate is the channel's
// own from its frame headers (30 when they do not say).
//
// Threads: every channel has its own lock, held while a picture of it is
// written and while its writer is created, replaced or closed, so Stop
// returns only when no picture is being written any more and none reaches a
// closed writer; channels never wait for each other. A failure ends that
// channel's export (its bit of ViewerState::exportedChannelMask goes) and
// is told once per export through the Notifier ("AVI Save failed !" and
// what failed), never with a channel lock held.
#pragma once

#include "net/Notifier.h"
#include "storage/AviWriter.h"

#include <QFont>
#include <QImage>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvik {

struct ViewerState;

inline constexpr const char* kAviSaveFailed = "AVI Save failed !";

struct AviExportSettings {
    std::string folder;     // where the files go; a trailing '/' is optional
    std::string namePrefix; // empty: the start's local time, "%d%02d%02d_%02d%02d%02d"
    bool fullSize = false;  // the profile's AVI_fullsize
    uint64_t continuationBytes = kAviContinuationBytes;
};

// Where the files of a path chosen in "Save to AVI File..." go: a folder
// (an existing one, or a path ending in '/') keeps the time prefix; a file
// name gives its folder and its name without ".avi" as the prefix
// ("/x/capture.avi": "/x/capture_ch0_0.avi", ...).
AviExportSettings AviTargetOfPath(const std::string& path);
// The first free file name of a channel: folder/prefix_ch<channel>_<n>.avi.
std::string FirstAviFileName(const std::string& folder, const std::string& prefix, int channel);
// "%d%02d%02d_%02d%02d%02d" of the local time `when`.
std::string AviTimePrefix(std::time_t when);
// The size a picture is written at: the full-size rule, or its own size.
void AviPictureSize(int width, int height, bool fullSize, bool pal, int& outWidth, int& outHeight);

class AviExport {
public:
    AviExport(ViewerState& state, Notifier& notifier);
    // Closes what is open without telling anyone (the program is ending).
    ~AviExport();
    AviExport(const AviExport&) = delete;
    AviExport& operator=(const AviExport&) = delete;

    // User-interface thread. Starts exporting the channels of `mask` (bit c:
    // channel c); the first file names are chosen now, the files are
    // created by each channel's first picture. False, with the user told,
    // when the folder cannot be made. An export that runs is stopped first.
    bool Start(int mask, const AviExportSettings& settings, std::time_t startTime);
    // User-interface thread. Closes every writer (waiting for a picture
    // being written); false when a file could not be completed (the user
    // was told unless a failure of this export was told already).
    bool Stop();
    bool Running() const { return running_.load(); }
    // The channel is exported now (any thread).
    bool Exporting(int channel) const;

    // Decoding thread of `channel`: writes one B,G,R picture (Format_BGR888)
    // with the channel's time text, frame rate (0: unknown) and standard.
    void Feed(int channel, const QImage& picture, const std::string& timeText, int frameRate, bool pal);

    // Any thread, after a channel's export ended by itself (a failure).
    std::function<void()> onChannelEnded;

    // What this export (or the last one) wrote: the files of a channel in
    // order, and its frames in all of them.
    std::vector<std::string> Files(int channel) const;
    uint32_t FramesWritten(int channel) const;
    // The folder of the last export.
    std::string Folder() const;

private:
    struct Channel {
        mutable std::mutex lock; // guards everything below
        bool active = false;
        std::unique_ptr<AviWriter> writer;
        std::string baseName;
        int continuation = 0;
        std::vector<std::string> files;
        uint32_t frames = 0;
    };
    static constexpr int kChannels = 16;

    // Under the channel's lock; returns the message to show ("" if none).
    std::string WriteLocked(int channel, Channel& c, const QImage& picture, const std::string& timeText,
                            int frameRate, bool pal);
    std::string EndLocked(int channel, Channel& c);
    QImage Prepare(const QImage& picture, const std::string& text, bool pal) const;
    void Tell(const std::string& message);

    ViewerState& state_;
    Notifier& notifier_;
    Channel channels_[kChannels];
    std::atomic<bool> running_{false};
    std::atomic<bool> failureTold_{false};
    // Written by Start on the user-interface thread while no channel is
    // active; read by the decoding threads.
    AviExportSettings settings_;
    QFont font_;
    bool drawText_ = false;
};

} // namespace tarnvik
