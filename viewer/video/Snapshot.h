// Snapshots of a pane's picture without any widget: the saved size, the
// file names, and the text drawn into a saved picture.
#pragma once

#include "video/Image.h"

#include <QFont>
#include <QSize>

#include <ctime>
#include <string>

namespace tarnvik {

// The standard size a picture `width` pixels wide is saved at; `pal` is the
// 625-line flag: up to 300 -> 176 x 144, up to 600 -> 352 x 240 (288),
// up to 700 -> 640 x 480, up to 1200 -> 720 x 480 (576), wider -> 1280 x 1024.
QSize SnapshotSize(int width, bool pal);

// The size of the picture printed: 352 x 240 (288) up to 600 pixels wide,
// 720 x 480 (576) above.
QSize PrintPictureSize(int width, bool pal);

// The local time as file names carry it: "%Y%m%d_%H%M%S".
std::string SnapshotTime(const std::tm& local);
std::string SnapshotTime(std::time_t when);

// The name the Save dialog proposes for channel `channel` (0-based):
// "img_%02d_%s.jpg" with channel + 1 and the time.
std::string SnapshotFileName(int channel, const std::string& time);

// The file of channel `channel` when all are saved under `path` (the name
// chosen in the dialog, any ".jpg" the user typed taken off):
// path + "_%02d_%s.jpg".
std::string SaveAllFileName(const std::string& path, int channel, const std::string& time);

// The overlay's font: "Gautami" when installed, else the system sans font;
// 14 pixels high, normal weight.
QFont SnapshotFont();

// The picture as saved: `picture` resampled to SnapshotSize with line 1
// "%s %s" (caption, time text) at (5, 25) and, when `carId` is not empty,
// line 2 at (5, 40), white on a black box at 50 % opacity. Empty when the
// picture is.
Image ComposeSnapshot(const Image& picture, bool pal, const std::string& caption, const std::string& timeText,
                      const std::string& carId);

} // namespace tarnvik
