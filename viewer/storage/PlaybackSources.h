// Opening what the local player plays: a `.DVR` backup with its `.inx`, one
// of our own `.avs` recordings, a raw volume or image file, or the DVR disk
// attached to this computer. Each gives a PlayerSource or a message for the
// user.
#pragma once

#include "storage/DvrDiskLocator.h"
#include "storage/LocalPlayer.h"

#include <string>

namespace tarnvik {

inline constexpr const char* kOpenFileError = "Open File Error!";
inline constexpr const char* kSignatureInvalid = "The signature of backup data is invalid. Are you continue ?";

enum class OpenResult { Ok, Failed, SignatureInvalid };

// A `.DVR` backup; its `.inx` is optional (without it the slider still
// works by position and a time search finds nothing).
OpenResult OpenBackupSource(const std::string& path, PlayerSource& out, std::string& message);
// A `.avs` recording (scanned once; `cancel` may stop a long scan).
OpenResult OpenRecordingSource(const std::string& path, PlayerSource& out, std::string& message,
                               const std::atomic<bool>* cancel = nullptr);
// A raw volume or an image of one. SignatureInvalid (with `out` filled)
// when its first 8 bytes hold no stream file header: the caller asks the
// user whether to play it all the same, and then checks it with
// RequireBlocks.
OpenResult OpenVolumeSource(const std::string& path, PlayerSource& out, std::string& message);
// Blocks must be there to play: a source without one is refused (and
// emptied) rather than showing a player that plays nothing. Ok also sets
// the source's recorded period.
OpenResult RequireBlocks(PlayerSource& source, const std::string& path, std::string& message);
// The disk a locator found: its time index, car identifier and video
// partition, positioned at the oldest recording.
OpenResult OpenDiskSource(const DvrDisk& disk, PlayerSource& out, std::string& message);

// Opens a file by its kind: `.avs` as a recording, anything else as a
// backup (a file without blocks then plays nothing but says so).
OpenResult OpenFileSource(const std::string& path, PlayerSource& out, std::string& message);

} // namespace tarnvik
