#include "ChannelRenderer.h"

#include "AviExport.h"
#include "ChannelModel.h"
#include "JpegPicture.h"
#include "PaneStore.h"
#include "PictureLayout.h"

#include "dvrformat/FrameHeader.h"
#include "net/UiBridge.h"
#include "net/ViewerState.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>
#include <cstring>
#include <ctime>

namespace tarnvik {

namespace {

// A decoder that keeps asking to be called again (results 1, 5, -5) must
// not hold the frame-delivering thread forever.
constexpr int kMaxDecoderCalls = 64;

bool ValidChannel(int channel) { return channel >= 0 && channel < kChannelCount; }

} // namespace

std::string FrameTimeText(uint32_t time, int milliseconds)
{
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    if (parts.tm_year + 1900 < 1971) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                      parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    } else {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    }
    // Three digits: ".8" would read as 800 ms.
    char millis[16];
    std::snprintf(millis, sizeof millis, ".%03d", milliseconds);
    return std::string(text) + millis;
}

int DefaultPictureWorkerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 2 : int(std::min(cores, 4u));
}

namespace {

// Zeroed on demand: the pages of a working buffer count only once a
// picture of that size was written into them.
uint8_t* NewPictureBuffer()
{
    return static_cast<uint8_t*>(std::calloc(kPictureBufferBytes, 1));
}

} // namespace

CChannelRenderer::WorkBuffers::WorkBuffers() : rgb(NewPictureBuffer(), std::free), dib(NewPictureBuffer(), std::free)
{
    if (!rgb || !dib)
        throw std::bad_alloc();
}

CChannelRenderer::CChannelRenderer(ViewerState& state, ChannelModel& model, PaneStore& panes, UiBridge& ui,
                                   int workerCount)
    : state_(state), model_(model), panes_(panes), ui_(ui)
{
    for (auto& flag : decodable_)
        flag.store(0);
    for (auto& status : decodeStatus_)
        status.store(0);
    for (int& input : audioInput_)
        input = -1;
    ResetChannels();
    if (workerCount > 0) {
        workerBuffers_.resize(size_t(workerCount));
        workers_ = std::make_unique<PictureWorkers>(
            workerCount, kPicturesWaitingPerChannel, [this](const PictureJob& job, int worker) {
                const bool shown = RenderPicture(job, job.data.data(), job.data.size(), workerBuffers_[size_t(worker)]);
                if (shown && job.timeTextChannel >= 0)
                    SetPaneTimeText(job.timeTextChannel, job.timeText);
                return shown;
            });
    }
}

CChannelRenderer::~CChannelRenderer() = default;

void CChannelRenderer::ResetChannels()
{
    DropHandedOverPictures();
    lineDoubling_ = 1;
    frame_.codec = 1;
    decoderIndex_ = 0;
    resolutionCode_ = 0;
    rateSum_ = 0;
    frame_.timeText.clear();
    for (int i = 0; i < 4; ++i)
        audioInput_[i] = -1;
    for (int i = 0; i < kChannelCount; ++i) {
        sequence_[i] = 1;
        previousSequence_[i] = 0;
        framesPerSecond_[i] = 0;
        rateCounted_[i] = 0;
        channelResolution_[i] = 0;
        milliseconds_[i] = 0;
        decodeStatus_[i] = 0;
    }
}

bool CChannelRenderer::IsDecodable(int channel) const
{
    return ValidChannel(channel) && decodable_[channel].load() != 0;
}

void CChannelRenderer::SetDecodable(int channel)
{
    if (ValidChannel(channel))
        decodable_[channel].store(1);
}

void CChannelRenderer::ClearDecodable(int channel)
{
    if (ValidChannel(channel))
        decodable_[channel].store(0);
}

void CChannelRenderer::SetPageStarts(int pageStart, int pageStart1)
{
    pageStart_.store(pageStart);
    pageStart1_.store(pageStart1);
}

bool CChannelRenderer::ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck)
{
    frameKind = 2;
    frame_.channel = -1;
    frame_.secondChannel = -1;
    if (!block)
        return false;
    const int at = dvrformat::FindFrameMagic(block, available);
    if (at < 0)
        return false;
    // Fields are read where the magic was found; bytes beyond the block read as 0.
    const dvrformat::FrameHeader h = dvrformat::FrameHeader::Read(block + at, available - size_t(at));

    uint32_t unknownType = dvrformat::kTypeWordUnknown;
    state_.typeWord.compare_exchange_strong(unknownType, h.typeWord);
    int unknownKind = dvrformat::kCodecKindUnknown;
    state_.codecKind.compare_exchange_strong(
        unknownKind, dvrformat::CodecKindFromHeaderBytes(h.kind, uint8_t(h.typeWord >> 8)));

    const int ch = h.channel; // a nibble: always 0..15
    frame_.channel = ch;
    frame_.secondChannel = h.secondChannel;
    frame_.resolutionCode = h.resolution;
    frame_.sizeClass = dvrformat::SizeClassOfResolution(h.resolution);
    streamClass_ = frame_.sizeClass;
    frame_.codec = h.codec;
    frame_.pictureType = h.pictureType;
    frame_.evenField = h.evenField;
    frame_.videoLength = h.videoLength;
    frame_.audioLength = h.audioLength;
    frame_.recordLength = h.recordLength;
    frame_.time = h.time;
    frame_.milliseconds = h.milliseconds;
    frame_.frameRate = h.frameRate;
    state_.pal.store(h.pal);

    if (h.resolution != resolutionCode_) {
        rateSum_ = 0;
        resolutionCode_ = h.resolution;
        for (int i = 0; i < kChannelCount; ++i)
            rateCounted_[i] = 0;
    }
    // Only the channel whose own resolution changed must wait for a key
    // picture. Clearing every channel on any change would leave a DVR whose
    // channels differ in resolution showing key pictures only.
    if (h.resolution != channelResolution_[ch]) {
        channelResolution_[ch] = h.resolution;
        decodable_[ch].store(0);
    }

    if (h.videoLength > 0) {
        const int sequence = h.sequence;
        sequence_[ch] = sequence;
        if (!skipGapCheck && !h.IsKeyPicture() && sequence != previousSequence_[ch] + 1)
            decodable_[ch].store(0);
        previousSequence_[ch] = sequence == 255 ? -1 : sequence;
    }
    if (h.codec == 0)
        decodable_[ch].store(1); // every JPEG picture stands alone

    framesPerSecond_[ch] = h.frameRate;
    if (!rateCounted_[ch]) {
        rateSum_ += h.frameRate;
        rateCounted_[ch] = 1;
    }

    lineDoubling_ = h.fullHeight ? 0 : 1;
    if (h.audioLength > 0) {
        for (int bit = 0; bit < 4; ++bit) {
            if (h.audioMask & (1u << bit)) {
                audioInput_[ch] = bit;
                break;
            }
        }
    }
    frame_.audioInput = audioInput_[ch];
    milliseconds_[ch] = h.milliseconds;
    frame_.timeText = FrameTimeText(h.time, h.milliseconds);

    frameKind = h.videoLength != 0 ? 1 : 2;
    return true;
}

DivisionView CChannelRenderer::CurrentView() const
{
    DivisionView view;
    view.division = state_.division.load();
    view.pageStart = pageStart_.load();
    view.pageStart1 = pageStart1_.load();
    view.selectedChannel = state_.selectedChannel.load();
    view.channelCount = state_.channelCount.load();
    view.codecKind = state_.codecKind.load();
    view.aviRecording = state_.exportedChannelMask.load() != 0;
    return view;
}

bool CChannelRenderer::PreparePicture(const uint8_t* data, size_t length, int channelSlot, PictureJob& job)
{
    if (!data || length == 0 || length > dvrformat::kMax20Bit)
        return false;
    const int codecKind = state_.codecKind.load();

    const PictureGeometry g =
        ResolvePictureGeometry(resolutionCode_, streamClass_, codecKind, state_.pal.load(), width_, height_);
    width_ = g.width;
    height_ = g.height;
    if (g.noLineDoubling)
        lineDoubling_ = 0;

    job.timeText = frame_.timeText;
    job.timeTextChannel = ValidChannel(frame_.channel) ? frame_.channel : -1;
    job.streamClass = streamClass_;
    job.frameRate = frame_.frameRate;
    job.pal = state_.pal.load();
    if (frame_.codec == 0) {
        // A JPEG is a whole picture: it is shown with its own size, uncropped,
        // never interleaved, in pane 0 as channel 0.
        lineDoubling_ = 0;
        job.jpeg = true;
        job.channel = job.handleIndex = 0;
        job.lineDoubling = false;
        return true;
    }
    if (frame_.codec != 1)
        return false;

    const DivisionView view = CurrentView();
    int channel = view.division == 1 ? view.selectedChannel : (channelSlot == 1 ? frame_.secondChannel : frame_.channel);
    if (codecKind == 1)
        channel = 0;
    if (!ValidChannel(channel))
        return false;
    decoderIndex_ = (codecKind == 2 || codecKind == 3) ? channel : 0;
    panes_.SetNoVideo(channel, false);

    if (PaneForChannel(channel, view) < 0)
        return false;
    if (g.width <= 0 || g.CroppedHeight() <= 0)
        return false;
    job.channel = channel;
    job.handleIndex = decoderIndex_;
    job.jpeg = false;
    job.width = g.width;
    job.croppedHeight = g.CroppedHeight();
    job.topMargin = g.topMargin;
    job.lineDoubling = lineDoubling_ != 0;
    return true;
}

bool CChannelRenderer::DecodeAndShow(const uint8_t* data, size_t length, int channelSlot)
{
    // Players and remote playback decode here; live pictures still waiting
    // for a worker would use the same decoders.
    DropHandedOverPictures();
    PictureJob job;
    if (!PreparePicture(data, length, channelSlot, job))
        return false;
    return RenderPicture(job, data, length, buffers_);
}

bool CChannelRenderer::HandOverPicture(const uint8_t* data, size_t length, bool commitTimeText,
                                       std::function<void(bool shown)> done)
{
    if (!workers_ || workers_->WorkerCount() == 0)
        return FrameSink::HandOverPicture(data, length, commitTimeText, std::move(done));
    PictureJob job;
    if (!PreparePicture(data, length, 0, job)) {
        workers_->ReportNotShown(std::move(done));
        return true;
    }
    if (!commitTimeText)
        job.timeTextChannel = -1;
    job.data = workers_->TakeBuffer(job.channel);
    job.data.assign(data, data + length);
    job.done = std::move(done);
    const int channel = job.channel;
    if (workers_->Submit(std::move(job)))
        return true;
    // The channel's worker is behind: this picture is lost, so the channel's
    // predicted pictures wait for the next key picture.
    decodable_[channel].store(0);
    return false;
}

void CChannelRenderer::DropHandedOverPictures()
{
    if (workers_)
        workers_->Discard();
}

bool CChannelRenderer::RenderPicture(const PictureJob& job, const uint8_t* data, size_t length,
                                     WorkBuffers& buffers)
{
    if (!job.jpeg)
        return DecodeH264(job, data, length, buffers);
    int width = 0;
    int height = 0;
    if (!DecodeJpegToBgr(data, length, buffers.rgb.get(), kPictureBufferBytes, &width, &height))
        return false;
    lastChannel_ = 0;
    return Present(job, 0, 0, width, height, 0, length, buffers);
}

bool CChannelRenderer::DecodeH264(const PictureJob& job, const uint8_t* data, size_t length, WorkBuffers& buffers)
{
    DecoderHandle& handle = model_.Handle(job.handleIndex);
    const DecoderApi& api = model_.Api();
    bool shown = false;
    for (int call = 0; call < kMaxDecoderCalls; ++call) {
        // The library writes a picture of the stream's size into the buffer:
        // refuse a stream whose pictures could not fit, and start the decoder
        // afresh so that a stream of a supported size can begin later.
        if (uint64_t(uint32_t(handle.codedWidth)) * uint32_t(handle.codedHeight) * 3 > kPictureBufferBytes) {
            Recreate(handle);
            return shown;
        }
        const int32_t result = api.getOneFrame(&handle, data, uint32_t(length), buffers.rgb.get());
        decodeStatus_[job.handleIndex] = result;
        if (result == 1)
            continue;
        if (result == -5) {
            Recreate(handle);
            continue;
        }
        if (result != 0 && result != 5)
            return shown;

        lastChannel_ = job.channel;
        // The pane that shows the channel now: the division may have changed
        // since the picture was handed over.
        const int pane = PaneForChannel(job.channel, CurrentView());
        if (pane >= 0 && Present(job, pane, job.channel, job.width, job.croppedHeight, job.topMargin, length, buffers))
            shown = true;
        if (result != 5)
            return shown;
    }
    return shown;
}

void CChannelRenderer::Recreate(DecoderHandle& handle)
{
    // Not checked: a failed Init leaves no context and the next call fails.
    model_.Api().uninit(&handle);
    model_.Api().init(&handle);
    handle.codedWidth = handle.codedHeight = 0; // the new stream's size is not known yet
}

bool CChannelRenderer::Present(const PictureJob& job, int pane, int channel, int width, int rows, int topMargin,
                               size_t length, WorkBuffers& buffers)
{
    const uint64_t needed = uint64_t(width) * uint64_t(rows + topMargin) * 3;
    if (width <= 0 || rows <= 0 || needed > kPictureBufferBytes)
        return false;
    CopyPictureRows(buffers.rgb.get(), buffers.dib.get(), width, rows, topMargin, job.lineDoubling);

    const bool exported = avi_ && avi_->Exporting(channel);
    const bool minimised = state_.minimised.load();
    if (minimised && !exported)
        return true;
    if (!minimised) {
        state_.framesShown.fetch_add(1);
        state_.bytesShown.fetch_add(int(length));
        panes_.RecordMapping(pane, channel);
    }

    const int codecKind = state_.codecKind.load();
    int firstRow = 0;
    bool drawn = !minimised;
    if (codecKind == 2 || codecKind == 3) {
        // In the single view with AVI export running, other channels are
        // decoded for the recorder only.
        if (state_.division.load() == 201 && state_.exportedChannelMask.load() != 0 &&
            channel != state_.selectedChannel.load())
            drawn = false;
        // Field pairs start with 16 lines of the DVR's own that are not shown.
        if (job.lineDoubling && rows > 16)
            firstRow = 16;
    } else if (codecKind != 0 && codecKind != 1) {
        return true; // CodecKind still unknown: nothing is drawn
    }
    if (!drawn && !exported)
        return true;

    QImage image(width, rows - firstRow, QImage::Format_BGR888);
    if (image.isNull())
        return true;
    const size_t rowBytes = size_t(width) * 3;
    for (int y = firstRow; y < rows; ++y)
        std::memcpy(image.scanLine(y - firstRow), buffers.dib.get() + size_t(y) * rowBytes, rowBytes);

    // The exported picture is the one the pane shows.
    if (exported)
        avi_->Feed(channel, image, job.timeText, job.frameRate, job.pal);
    if (!drawn)
        return true;
    panes_.HandOver(pane, std::move(image), CaptionOfChannel(channel, kChannelCount), job.timeText, job.streamClass);
    ui_.PaneChanged(pane);
    return true;
}

void CChannelRenderer::SetPaneTimeText(int channel, const std::string& timeText)
{
    const int pane = panes_.PaneOfChannel(channel);
    panes_.SetTimeText(pane, timeText);
    ui_.PaneChanged(pane);
}

void CChannelRenderer::CommitTimeText()
{
    if (ValidChannel(frame_.channel))
        SetPaneTimeText(frame_.channel, frame_.timeText);
}

} // namespace tarnvik
