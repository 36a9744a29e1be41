#include "AudioPlayer.h"

#include "AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <mutex>

namespace tarnvik {

namespace {

// The endless stream the sink pulls: every read is answered in full.
class PcmStream : public QIODevice {
public:
    explicit PcmStream(std::function<void(uint8_t*, size_t)> read) : read_(std::move(read)) {}

    bool isSequential() const override { return true; }
    // Sound or silence is always there; a sink that asks before reading
    // must never see the stream as drained.
    qint64 bytesAvailable() const override
    {
        return QIODevice::bytesAvailable() + qint64(AudioOutput::kBufferBytes);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (maxSize <= 0)
            return 0;
        read_(reinterpret_cast<uint8_t*>(data), size_t(maxSize));
        return maxSize;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::function<void(uint8_t*, size_t)> read_;
};

} // namespace

struct CAudioPlayer::Output : AudioDevice {
    explicit Output(AudioRing& ring)
        : logic(ring, *this), stream([this](uint8_t* into, size_t count) { Read(into, count); })
    {
    }

    void Read(uint8_t* into, size_t count)
    {
        std::lock_guard guard(lock);
        const bool wasReading = reading.exchange(true);
        pcm.Read(into, count, [this](int buffer) { logic.Completed(buffer); });
        reading = wasReading;
    }

    void Queue(int buffer, const uint8_t* data, size_t bytes) override { pcm.Queue(buffer, data, bytes); }
    void Pause() override { sink->suspend(); }
    void Resume() override { sink->resume(); }
    void Reset() override { pcm.Drop(); }

    // Guards logic and pcm. Recursive because a sink may read from within
    // one of its own calls that the logic makes under this lock.
    std::recursive_mutex lock;
    std::atomic<bool> reading{false};
    AudioOutput logic;
    QueuedPcm pcm;
    PcmStream stream;
    std::unique_ptr<QAudioSink> sink; // declared last: stops before the rest goes
};

CAudioPlayer::CAudioPlayer(QObject* parent) : QObject(parent)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;

    auto output = std::make_unique<Output>(ring_);
    output->stream.open(QIODevice::ReadOnly);
    output->sink = std::make_unique<QAudioSink>(device, format);
    output->sink->start(&output->stream);
    if (output->sink->error() != QAudio::NoError || output->sink->state() == QAudio::StoppedState) {
        output->sink->stop();
        return;
    }
    output->sink->suspend();
    output_ = std::move(output);
}

CAudioPlayer::~CAudioPlayer()
{
    if (output_) {
        output_->sink->stop();
        output_->sink.reset();
    }
}

void CAudioPlayer::Clear()
{
    ring_.Clear();
}

void CAudioPlayer::Append(const uint8_t* pcm, size_t bytes)
{
    ring_.Append(pcm, bytes);
}

size_t CAudioPlayer::Count() const
{
    return ring_.Count();
}

void CAudioPlayer::OnOwnThread(std::function<void()> fn)
{
    if (!output_)
        return;
    if (QThread::currentThread() == thread() && !output_->reading)
        fn();
    else
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CAudioPlayer::Pause()
{
    OnOwnThread([this] {
        std::lock_guard guard(output_->lock);
        output_->logic.Pause();
    });
}

void CAudioPlayer::Resume()
{
    OnOwnThread([this] {
        std::lock_guard guard(output_->lock);
        output_->logic.Resume();
    });
}

void CAudioPlayer::Reset()
{
    OnOwnThread([this] {
        std::lock_guard guard(output_->lock);
        output_->logic.Reset();
    });
}

void CAudioPlayer::SetMuted(bool muted)
{
    OnOwnThread([this, muted] { output_->sink->setVolume(muted ? 0.0 : 1.0); });
}

void CAudioPlayer::SetRefill(std::function<void()> refill)
{
    if (!output_)
        return;
    std::lock_guard guard(output_->lock);
    output_->logic.SetRefill(std::move(refill));
}

} // namespace tarnvik
