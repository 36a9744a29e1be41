#include "PaneStore.h"

#include <cstdio>
#include <utility>

namespace tarnvik {

std::string CaptionOfChannel(int channel, int channelCount)
{
    if (channel < 0 || channel >= channelCount)
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "Cam_%02d ", channel + 1);
    return text;
}

PaneStore::PaneStore()
{
    for (int i = 0; i < kPaneCount; ++i) {
        panes_[i].channel = i;
        panes_[i].paneOfChannel = i;
    }
}

PaneSnapshot PaneStore::Snapshot(int pane) const
{
    PaneSnapshot s;
    if (!Valid(pane))
        return s;
    std::lock_guard<std::mutex> guard(lock_);
    const Pane& p = panes_[pane];
    s.image = p.image;
    s.caption = p.caption;
    s.timeText = p.timeText;
    s.noVideo = p.noVideo;
    s.channel = p.channel;
    s.visible = p.visible;
    s.streamClass = p.streamClass;
    s.lastPicture = p.lastPicture;
    return s;
}

void PaneStore::HandOver(int pane, QImage&& image, const std::string& caption, const std::string& timeText,
                         int streamClass)
{
    if (!Valid(pane))
        return;
    QImage old;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(lock_);
        Pane& p = panes_[pane];
        old.swap(p.image);
        p.image.swap(image);
        p.caption = caption;
        p.timeText = timeText;
        p.streamClass = streamClass;
        p.noVideo = false;
        p.lastPicture = now;
    }
    // `old` frees the previous pixels here, outside the lock.
}

void PaneStore::RecordMapping(int pane, int channel)
{
    if (!Valid(pane) || !Valid(channel))
        return;
    std::lock_guard<std::mutex> guard(lock_);
    panes_[pane].channel = channel;
    panes_[channel].paneOfChannel = pane;
}

int PaneStore::PaneOfChannel(int channel) const
{
    if (!Valid(channel))
        return -1;
    std::lock_guard<std::mutex> guard(lock_);
    return panes_[channel].paneOfChannel;
}

void PaneStore::SetNoVideo(int pane, bool noVideo)
{
    if (!Valid(pane))
        return;
    std::lock_guard<std::mutex> guard(lock_);
    panes_[pane].noVideo = noVideo;
}

void PaneStore::SetTimeText(int pane, const std::string& timeText)
{
    if (!Valid(pane))
        return;
    std::lock_guard<std::mutex> guard(lock_);
    panes_[pane].timeText = timeText;
}

void PaneStore::SetPane(int pane, int channel, bool visible, const std::string& caption)
{
    if (!Valid(pane))
        return;
    std::lock_guard<std::mutex> guard(lock_);
    panes_[pane].channel = channel;
    panes_[pane].visible = visible;
    panes_[pane].caption = caption;
}

void PaneStore::ShowPicture(int pane, const QImage& image, bool noVideo)
{
    if (!Valid(pane))
        return;
    QImage copy = image.convertToFormat(QImage::Format_BGR888);
    std::lock_guard<std::mutex> guard(lock_);
    panes_[pane].image.swap(copy);
    panes_[pane].noVideo = noVideo;
}

} // namespace tarnvik
