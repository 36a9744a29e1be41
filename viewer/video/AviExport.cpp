#include "AviExport.h"

#include "net/Trace.h"
#include "storage/FileNames.h"
#include "net/ViewerState.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tarnvik {

namespace {

bool ValidChannel(int channel) { return channel >= 0 && channel < 16; }

std::string TextLine(int channel, const std::string& timeText)
{
    char caption[16];
    std::snprintf(caption, sizeof caption, "Cam-%02d", channel + 1);
    return std::string(caption) + " " + timeText;
}

} // namespace

std::string AviTimePrefix(std::time_t when)
{
    std::tm parts{};
    localtime_r(&when, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%d%02d%02d_%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

AviExportSettings AviTargetOfPath(const std::string& path)
{
    AviExportSettings target;
    std::error_code error;
    if (path.empty() || path.back() == '/' || std::filesystem::is_directory(path, error)) {
        target.folder = path;
        return target;
    }
    const std::filesystem::path chosen(path);
    target.folder = chosen.has_parent_path() ? chosen.parent_path().string() : std::string(".");
    target.namePrefix = WithoutExtension(chosen.filename().string(), ".avi");
    return target;
}

std::string FirstAviFileName(const std::string& folder, const std::string& prefix, int channel)
{
    const std::filesystem::path dir(folder.empty() ? std::string(".") : folder);
    std::error_code error;
    std::string path;
    // Bounded: a folder that answers every name with an error still ends
    // (the writer then says why it cannot create the last one).
    for (int counter = 0; counter < 100000; ++counter) {
        char name[64];
        std::snprintf(name, sizeof name, "_ch%d_%d.avi", channel, counter);
        path = (dir / (prefix + name)).string();
        // Only a name known to be free is taken: one whose state cannot be
        // read might exist.
        if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found)
            break;
    }
    return path;
}

void AviPictureSize(int width, int height, bool fullSize, bool pal, int& outWidth, int& outHeight)
{
    outWidth = width;
    outHeight = height;
    if (!fullSize)
        return;
    if (width == 640 || width == 720)
        outHeight = pal ? 576 : 480;
    else if (width == 352 || width == 360)
        outHeight = pal ? 288 : 240;
}

AviExport::AviExport(ViewerState& state, Notifier& notifier) : state_(state), notifier_(notifier) {}

AviExport::~AviExport()
{
    state_.exportedChannelMask = 0;
    for (Channel& c : channels_) {
        std::lock_guard<std::mutex> guard(c.lock);
        c.active = false;
        c.writer.reset(); // closes, tracing a failure
    }
}

bool AviExport::Exporting(int channel) const
{
    return ValidChannel(channel) && ((state_.exportedChannelMask.load() >> channel) & 1);
}

bool AviExport::Start(int mask, const AviExportSettings& settings, std::time_t startTime)
{
    if (running_)
        Stop();
    std::error_code error;
    std::filesystem::create_directories(settings.folder, error);
    if (error || !std::filesystem::is_directory(settings.folder)) {
        notifier_.ShowMessage(std::string(kAviSaveFailed) + "\n" + settings.folder + ": " +
                                  (error ? error.message() : "not a folder"),
                              MessageIcon::Warning);
        return false;
    }
    settings_ = settings;
    if (settings_.namePrefix.empty())
        settings_.namePrefix = AviTimePrefix(startTime);
    // Fonts are looked up here, on the user-interface thread; the decoding
    // threads only draw with the result.
    drawText_ = QGuiApplication::instance() != nullptr;
    if (drawText_) {
        font_ = QFontDatabase::families().contains(QStringLiteral("Impact"))
                    ? QFont(QStringLiteral("Impact"))
                    : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
    failureTold_ = false;
    int exported = 0;
    for (int channel = 0; channel < kChannels; ++channel) {
        Channel& c = channels_[channel];
        std::lock_guard<std::mutex> guard(c.lock);
        c.writer.reset();
        c.files.clear();
        c.frames = 0;
        c.continuation = 0;
        c.active = (mask >> channel) & 1;
        if (c.active) {
            c.baseName = FirstAviFileName(settings_.folder, settings_.namePrefix, channel);
            exported |= 1 << channel;
        }
    }
    state_.exportedChannelMask = exported;
    running_ = true;
    return true;
}

bool AviExport::Stop()
{
    state_.exportedChannelMask = 0;
    running_ = false;
    std::string message;
    for (Channel& c : channels_) {
        std::lock_guard<std::mutex> guard(c.lock);
        c.active = false;
        if (c.writer && !c.writer->Close() && message.empty())
            message = std::string(kAviSaveFailed) + "\n" + c.writer->Error();
        c.writer.reset();
    }
    if (!message.empty())
        Tell(message);
    return message.empty();
}

void AviExport::Tell(const std::string& message)
{
    if (!failureTold_.exchange(true))
        notifier_.ShowMessage(message, MessageIcon::Warning);
}

void AviExport::Feed(int channel, const QImage& picture, const std::string& timeText, int frameRate, bool pal)
{
    if (!Exporting(channel) || picture.isNull())
        return;
    Channel& c = channels_[channel];
    std::string message;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (!c.active)
            return;
        message = WriteLocked(channel, c, picture, timeText, frameRate, pal);
    }
    if (!message.empty()) {
        Tell(message);
        if (onChannelEnded)
            onChannelEnded();
    }
}

std::string AviExport::WriteLocked(int channel, Channel& c, const QImage& picture, const std::string& timeText,
                                   int frameRate, bool pal)
{
    if (!c.writer) {
        const std::string name =
            c.continuation == 0 ? c.baseName : AviContinuationName(c.baseName, c.continuation);
        c.writer = std::make_unique<AviWriter>(name, frameRate);
    }
    const QImage prepared = Prepare(picture, TextLine(channel, timeText), pal);
    const AviWriter::Result result = c.writer->AddFrame(prepared.constBits(), prepared.width(), prepared.height(),
                                                        size_t(prepared.bytesPerLine()));
    if (result == AviWriter::Result::Failed)
        return EndLocked(channel, c);
    if (result == AviWriter::Result::Dropped)
        return {}; // another size than the file's: this picture is left out
    if (c.files.empty() || c.files.back() != c.writer->FileName())
        c.files.push_back(c.writer->FileName());
    ++c.frames;
    if (c.writer->BytesWritten() > settings_.continuationBytes) {
        // The next picture opens the next file, at the rate it brings.
        const bool closed = c.writer->Close();
        if (!closed)
            return EndLocked(channel, c);
        c.writer.reset();
        ++c.continuation;
    }
    return {};
}

std::string AviExport::EndLocked(int channel, Channel& c)
{
    c.writer->Close(); // keeps what was written readable where it can
    const std::string message = std::string(kAviSaveFailed) + "\n" + c.writer->Error();
    Trace("AVI export of channel " + std::to_string(channel) + " ended: " + c.writer->Error());
    c.writer.reset();
    c.active = false;
    state_.exportedChannelMask.fetch_and(~(1 << channel));
    return message;
}

QImage AviExport::Prepare(const QImage& picture, const std::string& text, bool pal) const
{
    int width = 0;
    int height = 0;
    AviPictureSize(picture.width(), picture.height(), settings_.fullSize, pal, width, height);
    QImage image = height == picture.height()
                       ? picture
                       : picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!drawText_ || image.isNull())
        return image;
    // Large enough to read on a small picture, not covering a large one.
    QFont font = font_;
    font.setPixelSize(std::clamp(image.height() / 24, 10, 32));
    const QFontMetrics metrics(font);
    const QString line = QString::fromStdString(text);
    const QRect box(3, 3, metrics.horizontalAdvance(line) + 4, metrics.height() + 2);
    QPainter painter(&image); // detaches from the pane's picture
    painter.fillRect(box, QColor(0, 0, 0, 110));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint(5, 4 + metrics.ascent()), line);
    painter.end();
    return image;
}

std::vector<std::string> AviExport::Files(int channel) const
{
    if (!ValidChannel(channel))
        return {};
    std::lock_guard<std::mutex> guard(channels_[channel].lock);
    return channels_[channel].files;
}

uint32_t AviExport::FramesWritten(int channel) const
{
    if (!ValidChannel(channel))
        return 0;
    std::lock_guard<std::mutex> guard(channels_[channel].lock);
    return channels_[channel].frames;
}

std::string AviExport::Folder() const
{
    return settings_.folder;
}

} // namespace tarnvik
