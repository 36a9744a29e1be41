#include "LocalPlayer.h"

#include "dvrformat/StreamFile.h"
#include "net/ReceptionStatus.h"
#include "storage/RecordFile.h"

#include <algorithm>

namespace tarnvik {

using namespace std::chrono;
using dvrformat::kSectorSize;

namespace {

// Status lines reach the window at most this often; every picture would
// flood its queue at 100 pictures a second.
constexpr milliseconds kStatusInterval{100};
// While paused the thread looks for work this often.
constexpr milliseconds kPausedPoll{100};
// Consecutive records that cannot be read before the data counts as ended.
constexpr int kMaxFailedReads = 1024;
// Frame-count pacing: a period is 4 channels x 30 pictures; a picture lasts
// 33 ms, the last 30 of a period 34 ms, so a period lasts one second.
constexpr int kPeriodRecords = 120;
constexpr int kLongFramesFrom = 91;
// How long the end of a period waits for the sound to catch up, and how
// recent the last feed of the sound must be for the wait to make sense
// (with no sound playing, nothing would ever end the wait early).
constexpr milliseconds kAudioWait{500};
constexpr milliseconds kAudioRecent{2500};

// Playing at any speed: the thread reads on by itself.
bool Moving(int state)
{
    return state == kStatePlaying || state == kStateFastForward || state == kStateFastBackward;
}

} // namespace

std::string SpeedLabel(int speed)
{
    static const char* const kLabels[] = {" <<32 ", " <<16 ", " <<8  ", " <<4  ", " <<2  ", " <    ", " ||  ",
                                          " >    ", " >>2  ", " >>4  ", " >>8  ", " >>16 ", " >>32 "};
    return speed >= -6 && speed <= 6 ? kLabels[speed + 6] : "     ";
}

int NextFastForwardSpeed(int speed)
{
    if (speed < 0)
        speed = 0;
    return speed == 0 || speed >= 6 ? 2 : speed + 1;
}

int NextFastBackwardSpeed(int speed)
{
    if (speed > 0)
        speed = 0;
    return speed == 0 || speed <= -6 ? -2 : speed - 1;
}

// ---- PlayerSource -----------------------------------------------------------

int64_t PlayerSource::SliderMaximum() const
{
    if (DiskSlider())
        return int64_t(index.count) - 1;
    return blocks ? int64_t(blocks->Size() / kSectorSize) : 0;
}

int64_t PlayerSource::SliderValue(uint64_t offset, uint32_t time) const
{
    if (!DiskSlider())
        return int64_t(offset / kSectorSize);
    // The entries are sorted newest first; the slider counts from the oldest.
    const size_t count = std::min(index.count, index.sorted.size());
    size_t newer = 0;
    while (newer < count && index.sorted[newer].time > time)
        ++newer;
    const int64_t fromOldest = int64_t(count) - 1 - int64_t(newer);
    return std::clamp<int64_t>(fromOldest, 0, SliderMaximum());
}

uint64_t PlayerSource::SliderTarget(int64_t value) const
{
    if (!DiskSlider())
        return uint64_t(std::max<int64_t>(value, 0)) * kSectorSize;
    const int64_t count = int64_t(std::min(index.count, index.sorted.size()));
    const int64_t fromOldest = std::clamp<int64_t>(value, 0, count - 1);
    return index.sorted[size_t(count - 1 - fromOldest)].position;
}

std::optional<uint64_t> PlayerSource::FindTimePosition(uint32_t time) const
{
    if (kind != Kind::Recording) {
        const int found = FindTime(index, time);
        if (found < 0)
            return std::nullopt;
        return index.sorted[size_t(found)].position;
    }
    // A recording: the block that holds the time; like an index entry, a
    // recording that starts up to 59 seconds after it still counts.
    const auto* recording = dynamic_cast<const RecordFileSource*>(blocks.get());
    if (!recording || recording->Blocks().empty())
        return std::nullopt;
    const std::vector<BlockInfo>& all = recording->Blocks();
    if (int64_t(all.front().time) - int64_t(time) > 59 || int64_t(time) - int64_t(all.back().time) > 59)
        return std::nullopt;
    auto after = std::upper_bound(all.begin(), all.end(), time,
                                  [](uint32_t t, const BlockInfo& b) { return t < b.time; });
    return after == all.begin() ? all.front().offset : (after - 1)->offset;
}

// ---- LocalPlayer ------------------------------------------------------------

LocalPlayer::LocalPlayer(ViewerState& state, FrameSink& sink, std::mutex* decodeLock, PlayerAudio* audio,
                         PlayerEvents* events, PlayerOptions options)
    : viewer_(state), sink_(sink), decodeLock_(decodeLock), audio_(audio), events_(events), options_(options),
      audioBuffer_(new uint8_t[kAudioBufferBytes])
{
}

LocalPlayer::~LocalPlayer()
{
    Stop();
}

void LocalPlayer::Start(PlayerSource source)
{
    Stop();
    source_ = std::make_unique<PlayerSource>(std::move(source));
    reader_ = std::make_unique<RecordReader>(*source_->blocks, sink_, decodeLock_);
    reader_->onEvent = onReaderEvent;
    {
        std::lock_guard<std::mutex> guard(audioLock_);
        audioOwned_.reset();
        audioSource_ = source_->blocks.get();
        if (source_->audioFile) {
            audioOwned_ = std::make_unique<GopBlockSource>(std::move(source_->audioFile), source_->blocksStart,
                                                           NextSegmentFn{}, source_->kind == PlayerSource::Kind::Disk);
            audioSource_ = audioOwned_.get();
        }
        audioBlock_ = {};
    }
    viewer_.codecKind = source_->codecKind;
    {
        std::unique_lock<std::mutex> guard;
        if (decodeLock_)
            guard = std::unique_lock<std::mutex>(*decodeLock_);
        sink_.ResetChannels();
    }
    if (audio_) {
        audio_->Reset();
        audio_->Clear();
        audio_->SetRefill([this] { RefillAudio(); });
    }
    atEnd_ = false;
    speed_ = 0;
    state_ = kStatePaused;
    publishedBlock_ = kNoBlock;
    {
        std::lock_guard<std::mutex> guard(lock_);
        orders_.clear();
        busy_ = true; // the first pictures are shown before anything else
    }
    thread_ = std::thread([this] { Run(); });
    Changed();
}

void LocalPlayer::Stop()
{
    if (audio_) {
        audio_->Pause();
        audio_->Reset();
        audio_->SetRefill({});
    }
    if (thread_.joinable()) {
        state_ = kStateStopped;
        wake_.notify_all();
        thread_.join();
    }
    speed_ = 0;
    state_ = kStateStopped;
    reader_.reset();
    {
        std::lock_guard<std::mutex> guard(audioLock_);
        audioSource_ = nullptr;
        audioOwned_.reset();
    }
    source_.reset();
    idle_.notify_all();
}

void LocalPlayer::Post(Command command, uint64_t offset)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        orders_.push_back({command, offset});
    }
    wake_.notify_all();
}

void LocalPlayer::Changed()
{
    if (events_)
        events_->PlayerChanged(state_.load(), speed_.load(), atEnd_.load());
}

void LocalPlayer::Move(int state, int speed)
{
    if (state != kStatePlaying && audio_)
        audio_->Pause();
    speed_ = speed;
    state_ = state;
    Changed();
    wake_.notify_all();
}

void LocalPlayer::PlayPause()
{
    if (!Running())
        return;
    if (Moving(state_.load())) {
        Move(kStatePaused, 0);
        return;
    }
    // From a pause: play at normal speed. After the end the recording
    // starts again from its beginning.
    if (atEnd_.exchange(false))
        Post(Command::First);
    Move(kStatePlaying, 1);
    Post(Command::RestartAudio);
}

void LocalPlayer::FastForward()
{
    if (!Running())
        return;
    atEnd_ = false;
    Move(kStateFastForward, NextFastForwardSpeed(speed_.load()));
}

void LocalPlayer::FastBackward()
{
    if (!Running())
        return;
    atEnd_ = false;
    Move(kStateFastBackward, NextFastBackwardSpeed(speed_.load()));
}

void LocalPlayer::BeginSeek()
{
    if (Running())
        Move(kStatePaused, 0);
}

void LocalPlayer::StepNext()
{
    if (!Running())
        return;
    BeginSeek();
    Post(Command::Step);
}

void LocalPlayer::StepPrev()
{
    if (!Running())
        return;
    BeginSeek();
    Post(Command::StepPrev);
}

void LocalPlayer::MoveToFirst()
{
    if (!Running())
        return;
    atEnd_ = false;
    Post(Command::First);
}

void LocalPlayer::MoveToLast()
{
    if (!Running())
        return;
    Post(Command::Last);
}

void LocalPlayer::SeekTo(uint64_t offset)
{
    if (!Running())
        return;
    atEnd_ = false;
    Post(Command::Seek, offset);
}

bool LocalPlayer::WaitIdle(milliseconds limit)
{
    std::unique_lock<std::mutex> guard(lock_);
    return idle_.wait_for(guard, limit,
                          [this] { return !thread_.joinable() || (!busy_ && orders_.empty() && !Moving(state_.load())); });
}

// ---- The player thread --------------------------------------------------------

void LocalPlayer::Run()
{
    reader_->StartAt(source_->blocks->First());
    ShowPictures(kStepPictures);
    int failed = 0;
    for (;;) {
        std::optional<Order> order;
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (!orders_.empty()) {
                order = orders_.front();
                orders_.pop_front();
                busy_ = true;
            } else {
                busy_ = false;
                idle_.notify_all();
                const int state = state_.load();
                if (state == kStateStopped)
                    break;
                if (state == kStatePaused) {
                    wake_.wait_for(guard, kPausedPoll);
                    continue;
                }
            }
        }
        if (order) {
            Carry(*order);
            failed = 0;
            continue;
        }
        if (state_.load() == kStateStopped)
            break;
        const int speed = state_.load() == kStatePlaying ? 1 : speed_.load();
        const RecordReader::Result result = reader_->ReadOne(speed);
        if (result == RecordReader::Result::End) {
            ReachEnd();
            continue;
        }
        if (result == RecordReader::Result::Frame) {
            failed = 0;
            Publish();
            if (state_.load() == kStatePlaying)
                Pace(sink_.Frame().channel);
        } else if (++failed >= kMaxFailedReads) {
            ReachEnd();
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    busy_ = false;
    idle_.notify_all();
}

void LocalPlayer::Carry(const Order& order)
{
    RecordReader& reader = *reader_;
    BlockSource& blocks = *source_->blocks;
    const bool paused = state_.load() == kStatePaused;
    switch (order.command) {
    case Command::Step:
        ShowPictures(kStepPictures);
        // The steps' pictures count towards the pacing period.
        periodLength_ = std::max(periodLength_ - kStepPictures, 1);
        return;
    case Command::StepPrev: {
        const BlockInfo previous = blocks.Before(reader.Current());
        reader.StartAt(previous.Valid() ? previous : blocks.First());
        ShowPictures(kStepPictures);
        return;
    }
    case Command::First:
    case Command::Last:
    case Command::Seek: {
        BlockInfo target = order.command == Command::First  ? blocks.First()
                           : order.command == Command::Last ? blocks.Last()
                                                            : blocks.FindFrom(order.offset);
        if (!target.Valid())
            target = blocks.Last();
        reader.StartAt(target);
        lastWall_ = {};
        if (paused)
            ShowPictures(kStepPictures);
        else
            RestartAudio();
        Publish();
        return;
    }
    case Command::RestartAudio:
        lastWall_ = {};
        RestartAudio();
        return;
    }
}

void LocalPlayer::ShowPictures(int pictures)
{
    int shown = 0;
    for (int read = 0; shown < pictures && read < kStepRecordLimit; ++read) {
        const RecordReader::Result result = reader_->ReadOne(0);
        if (result == RecordReader::Result::End) {
            ReachEnd();
            break;
        }
        if (result == RecordReader::Result::Frame && reader_->LastDecoded())
            ++shown;
        Publish();
    }
}

void LocalPlayer::Pace(int channel)
{
    if (!options_.pacing || viewer_.exportedChannelMask.load() != 0)
        return;
    if (IsSingleView(viewer_.division.load()))
        PaceByCount(channel);
    else
        PaceByTime();
}

void LocalPlayer::Sleep(int64_t ms)
{
    std::unique_lock<std::mutex> guard(lock_);
    wake_.wait_for(guard, milliseconds(ms), [this] { return !orders_.empty() || state_.load() != kStatePlaying; });
}

void LocalPlayer::PaceByTime()
{
    const int64_t streamMs = int64_t(reader_->LastTime()) * 1000 + reader_->LastMilliseconds();
    const auto now = steady_clock::now();
    if (lastWall_ != steady_clock::time_point{}) {
        const int64_t elapsed = duration_cast<milliseconds>(now - lastWall_).count();
        const int64_t sleep = SharedPacingSleep(PacingWait(streamMs, lastStreamMs_, elapsed, 0));
        if (sleep > 0)
            Sleep(sleep);
    }
    lastStreamMs_ = streamMs;
    lastWall_ = steady_clock::now();
}

void LocalPlayer::PaceByCount(int channel)
{
    const auto now = steady_clock::now();
    if (periodLength_ <= 0) {
        periodLength_ = kPeriodRecords;
        periodRecords_ = 0;
        periodStart_ = now;
        lastMarkedMs_ = 0;
    }
    const int64_t framePeriod = periodRecords_ < kLongFramesFrom ? 33 : 34;
    // One record in four (of the channel before the selected one) paces the
    // others: a quarter of the period's pictures each take a frame period.
    if ((channel + 1) % 4 == viewer_.selectedChannel.load()) {
        const int64_t ahead =
            lastMarkedMs_ == 0 ? framePeriod : framePeriod * periodRecords_ / 4 - lastMarkedMs_;
        if (ahead >= 1 && ahead < 100)
            Sleep(framePeriod);
        lastMarkedMs_ = duration_cast<milliseconds>(steady_clock::now() - periodStart_).count();
    }
    if (++periodRecords_ < periodLength_)
        return;
    // The period's end waits for the sound, so pictures and sound stay together.
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (lastAudioFeed_ != steady_clock::time_point{} && steady_clock::now() - lastAudioFeed_ < kAudioRecent) {
            wake_.wait_for(guard, kAudioWait, [this] { return audioFed_ || !orders_.empty(); });
        }
        audioFed_ = false;
    }
    periodLength_ = kPeriodRecords;
    periodRecords_ = 0;
    periodStart_ = steady_clock::now();
    lastMarkedMs_ = 0;
}

void LocalPlayer::Publish()
{
    if (!events_)
        return;
    const BlockInfo& block = reader_->Current();
    if (block.Valid() && block.offset != publishedBlock_) {
        publishedBlock_ = block.offset;
        events_->PlayerPosition(block.offset, block.time);
    }
    const auto now = steady_clock::now();
    if (reader_->LastDecoded() && now - lastStatus_ >= kStatusInterval) {
        lastStatus_ = now;
        events_->PlayerStatus(reader_->StatusLine(), reader_->LastTime(), reader_->LastMilliseconds());
    }
}

void LocalPlayer::ReachEnd()
{
    atEnd_ = true;
    speed_ = 0;
    if (state_.load() != kStateStopped)
        state_ = kStatePaused;
    if (audio_)
        audio_->Pause();
    Changed();
}

// ---- Block audio ------------------------------------------------------------------

void LocalPlayer::RestartAudio()
{
    if (!audio_ || state_.load() != kStatePlaying)
        return;
    {
        std::lock_guard<std::mutex> guard(audioLock_);
        audioBlock_ = reader_->Current();
    }
    audio_->Pause();
    audio_->Reset();
    audio_->Clear();
    RefillAudio();
    audio_->Resume();
}

void LocalPlayer::RefillAudio()
{
    std::lock_guard<std::mutex> guard(audioLock_);
    {
        if (!audioSource_ || !audio_)
            return;
        // Two blocks' sound per call: enough for the output's next buffers.
        for (int i = 0; i < 2 && audioBlock_.Valid(); ++i) {
            const BlockInfo block = audioSource_->At(audioBlock_.offset);
            if (!block.Valid() || block.audioBytes > audioSource_->MaxAudioBytes())
                break;
            const size_t got = audioSource_->ReadAudio(block, audioBuffer_.get());
            audio_->Append(audioBuffer_.get(), got);
            audioBlock_ = audioSource_->After(block);
        }
    }
    {
        std::lock_guard<std::mutex> feed(lock_);
        audioFed_ = true;
        lastAudioFeed_ = steady_clock::now();
    }
    wake_.notify_all();
}

} // namespace tarnvik
