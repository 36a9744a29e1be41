#include "Session.h"

#include "dvrformat/FrameHeader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testdvr {

using namespace dvrformat;
using Clock = std::chrono::steady_clock;

void DvrNow(uint32_t& seconds, uint16_t& milliseconds)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    seconds = uint32_t(ts.tv_sec + local.tm_gmtoff);
    milliseconds = uint16_t(ts.tv_nsec / 1000000);
}

std::string Hex(uint32_t v, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, v);
    return text;
}

namespace {

constexpr int kAudioRate = 22050;

} // namespace

Session::Session(DvrServer& server, int fd, std::string peer)
    : server_(server), options_(server.options()), fd_(fd), peer_(std::move(peer))
{
}

Session::~Session()
{
    Stop();
}

void Session::Start()
{
    reader_ = std::thread([this] { ReadLoop(); });
    streamer_ = std::thread([this] { StreamLoop(); });
}

void Session::Stop()
{
    closing_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    wake_.notify_all();
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id())
        reader_.join();
    if (streamer_.joinable() && streamer_.get_id() != std::this_thread::get_id())
        streamer_.join();
    if (fd_ >= 0 && !reader_.joinable() && !streamer_.joinable()) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool Session::Send(const uint8_t* data, size_t size, bool slow)
{
    // A slow sender trickles its bytes: small pieces with pauses between.
    const size_t piece = slow ? (trickle_.load() ? 16 : 64) : size;
    size_t sent = 0;
    while (sent < size && !closing_) {
        const size_t n = std::min(piece, size - sent);
        const ssize_t rc = ::send(fd_, data + sent, n, MSG_NOSIGNAL);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        sent += size_t(rc);
        if (slow && sent < size)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return sent == size;
}

bool Session::SendHeaderAndPayload(uint8_t code, uint8_t sub, const uint8_t* payload, size_t size)
{
    std::vector<uint8_t> message(kMessageHeaderSize + size);
    MessageHeader header;
    header.code = code;
    header.sub = sub;
    header.length = uint32_t(size);
    header.Write(message.data());
    if (size)
        std::memcpy(message.data() + kMessageHeaderSize, payload, size);
    std::lock_guard<std::mutex> guard(sendLock_);
    return Send(message.data(), message.size(), Slow());
}

void Session::SendFinish()
{
    server_.Log("send finish");
    SendHeaderAndPayload(cmd::Finish, 0, nullptr, 0);
}

void Session::SendError(uint16_t code)
{
    server_.Log("send error " + Hex(code, 4));
    uint8_t payload[kErrorReplySize] = {uint8_t(code >> 8), uint8_t(code)};
    SendHeaderAndPayload(cmd::Error, 0, payload, sizeof payload);
}

void Session::SendStatus()
{
    // A status message the viewer reads whole and ignores.
    uint8_t payload[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    SendHeaderAndPayload(cmd::Status, 0, payload, sizeof payload);
}

void Session::Drop()
{
    server_.Log("drop " + peer_);
    closing_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    wake_.notify_all();
}

void Session::InjectFault(const std::string& name)
{
    std::lock_guard<std::mutex> guard(stateLock_);
    pendingFault_ = name;
}

void Session::SetStalled(bool stalled)
{
    std::lock_guard<std::mutex> guard(stateLock_);
    stalled_ = stalled;
    wake_.notify_all();
}

void Session::ReadLoop()
{
    std::vector<uint8_t> payload;
    for (;;) {
        uint8_t raw[kMessageHeaderSize];
        if (::recv(fd_, raw, sizeof raw, MSG_WAITALL) != ssize_t(sizeof raw))
            break;
        const MessageHeader header = MessageHeader::Read(raw);
        // Requests are small; anything else is not a viewer talking.
        if (!header.HasMagic() || header.length > 4096) {
            server_.Log("bad request header from " + peer_);
            break;
        }
        payload.assign(header.length, 0);
        if (header.length > 0 && ::recv(fd_, payload.data(), header.length, MSG_WAITALL) != ssize_t(header.length))
            break;
        HandleRequest(header, payload.data());
    }
    closing_ = true;
    wake_.notify_all();
    server_.ReleasePlayback(this);
    finished_ = true;
    server_.Log("closed " + peer_ + " at " + std::to_string(WallMilliseconds()));
}

void Session::HandleRequest(const MessageHeader& header, const uint8_t* payload)
{
    const bool isStreamRequest = RequestPayloadSize(header.code) == kStreamRequestSize && header.length >= kStreamRequestSize;
    StreamRequest request;
    if (isStreamRequest)
        request = StreamRequest::Read(payload);
    switch (header.code) {
    case cmd::Login:
        if (header.length < kLoginRequestSize) {
            SendError(0x1001);
            return;
        }
        HandleLogin(payload);
        return;
    case cmd::Live:
        if (isStreamRequest)
            HandleLive(header, request);
        return;
    case cmd::PlaybackEnd:
    case cmd::PlaybackPosition:
    case cmd::Playback:
        if (isStreamRequest)
            HandlePlayback(header, request, payload);
        return;
    default:
        server_.Log("unknown request code=" + Hex(header.code, 2));
        SendError(0x0002);
        return;
    }
}

void Session::HandleLogin(const uint8_t* payload)
{
    const LoginRequest login = LoginRequest::Read(payload);
    const bool accepted = login.password == options_.password;
    server_.Log(std::string(accepted ? "login accepted" : "login refused") +
                " admin=" + std::to_string(login.administrator) + " speed=" + std::to_string(login.speed) +
                " codec=" + std::to_string(login.codec));
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        loggedIn_ = accepted;
    }
    LoginReply reply;
    reply.result = accepted ? 1 : 0;
    reply.version = options_.version;
    reply.model = options_.model;
    reply.type = options_.type;
    uint8_t bytes[kLoginReplySize];
    reply.Write(bytes);
    SendHeaderAndPayload(cmd::Login, 1, bytes, sizeof bytes);
}

void Session::HandleLive(const MessageHeader& header, const StreamRequest& request)
{
    if (IsPtzOp(request.op)) {
        const int channel = request.PtzChannel() + 1;
        server_.Log("ptz ch=" + std::to_string(channel) + " op=" + std::string(1, char(request.op)) +
                    (request.op == op::PtzStop ? " stop" : ""));
        return;
    }
    server_.Log("live request sub=" + std::to_string(header.sub) + " channels=" + Hex(request.channels, 4) +
                " op=" + std::to_string(request.op) + " panes=" + std::to_string(request.panes) +
                " speed=" + std::to_string(request.speed) + " mode=" + std::to_string(request.mode));
    std::lock_guard<std::mutex> guard(stateLock_);
    if (!loggedIn_) {
        server_.Log("live request ignored: not logged in");
        return;
    }
    switch (request.op) {
    case op::StreamNoAudio:
    case op::StreamWithAudio: {
        const uint32_t valid = options_.channels >= 16 ? 0xFFFF : ((1u << options_.channels) - 1);
        const uint32_t mask = request.channels & valid;
        for (int c = 0; c < 16; ++c)
            if ((mask & (1u << c)) && !(streamMask_ & (1u << c)))
                nextPicture_[c] = 0; // a channel joining starts at its clip's first picture
        streamMask_ = mask;
        withAudio_ = request.op == op::StreamWithAudio && options_.audio;
        paused_ = false;
        break;
    }
    case op::Stop:
        paused_ = true;
        break;
    case op::LiveResume:
        paused_ = false;
        break;
    default:
        break;
    }
    wake_.notify_all();
}

void Session::BuildPicture(int channel, std::vector<uint8_t>& message)
{
    const Clip& clip = server_.ClipForChannel(channel);
    int index;
    uint8_t sequence;
    bool audio;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        index = nextPicture_[channel];
        nextPicture_[channel] = (index + 1) % int(clip.pictures.size());
        sequence = uint8_t(sequence_[channel]);
        // Counts through 255: a viewer remembers 255 as "none", so the 0 that
        // follows it is never taken for a gap.
        sequence_[channel] = (sequence_[channel] + 1) % 256;
        audio = withAudio_;
    }
    const Picture& picture = clip.pictures[size_t(index)];
    const int kind = options_.codecKind >= 0 ? options_.codecKind : CodecKindFor(options_.type, options_.version);
    const size_t headerLength = FrameHeaderLength(kind);
    const size_t audioBytes = audio ? size_t(kAudioRate / options_.framesPerSecond) * 2 : 0;

    uint32_t time;
    uint16_t milliseconds;
    DvrNow(time, milliseconds);
    FrameHeader fh = FrameHeaderFor(clip, picture, channel, kind, options_.type, sequence, time, milliseconds,
                                    options_.framesPerSecond);
    fh.audioLength = uint16_t(audioBytes);
    fh.recordLength += uint32_t(audioBytes);
    fh.audioMask = audio ? uint16_t(1u << (channel % 4)) : 0;

    const bool prefix = !options_.noPrefix;
    const size_t total = kMessageHeaderSize + (prefix ? kDataPrefixSize : 0) + headerLength + picture.bytes.size() + audioBytes;
    message.resize(total);
    uint8_t* p = message.data();
    MessageHeader header;
    header.code = cmd::Live;
    header.sub = prefix ? 0x01 : kSubNoPrefix;
    header.length = uint32_t(total); // video messages count their own header
    header.Write(p);
    p += kMessageHeaderSize;
    if (prefix) {
        DataPrefix dp;
        dp.recording = 1;
        dp.Write(p);
        p += kDataPrefixSize;
    }
    fh.Write(p, headerLength);
    p += headerLength;
    std::memcpy(p, picture.bytes.data(), picture.bytes.size());
    p += picture.bytes.size();
    // A tone per channel (220 Hz steps), 16-bit little-endian mono PCM.
    const double frequency = 220.0 * (1 + channel % 4);
    for (size_t i = 0; i < audioBytes / 2; ++i, ++audioPhase_[channel]) {
        const auto sample = int16_t(8000 * std::sin(2 * M_PI * frequency * audioPhase_[channel] / kAudioRate));
        p[2 * i] = uint8_t(sample);
        p[2 * i + 1] = uint8_t(uint16_t(sample) >> 8);
    }
}

bool Session::ApplyFault(const std::string& fault, const std::function<void(std::vector<uint8_t>&)>& build)
{
    server_.Log("fault " + fault);
    if (fault == "garbage") {
        // Bytes with no 0x54 in them, so the only way back is the next header.
        uint8_t junk[37];
        uint32_t x = 12345;
        for (auto& b : junk) {
            x = x * 1103515245 + 12345;
            b = uint8_t(x >> 16);
            if (b == 0x54)
                b = 0x55;
        }
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(junk, sizeof junk, false);
    }
    if (fault == "bad-magic") {
        uint8_t header[kMessageHeaderSize];
        MessageHeader h;
        h.magic = 0x5472;
        h.code = cmd::Live;
        h.sub = 1;
        h.length = kMessageHeaderSize;
        h.Write(header);
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(header, sizeof header, false);
    }
    if (fault == "bad-code") {
        // More bad headers in a row than a viewer tolerates.
        std::vector<uint8_t> headers(kMessageHeaderSize * 101);
        for (size_t i = 0; i < 101; ++i) {
            MessageHeader h;
            h.code = 0x05;
            h.Write(headers.data() + i * kMessageHeaderSize);
        }
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(headers.data(), headers.size(), false);
    }
    if (fault == "oversize") {
        // A well-formed video message far larger than any frame buffer.
        std::vector<uint8_t> message;
        build(message);
        const size_t size = 2000000;
        message.resize(size, 0);
        MessageHeader h = MessageHeader::Read(message.data());
        h.length = uint32_t(size);
        h.Write(message.data());
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(message.data(), message.size(), false);
    }
    if (fault == "short") {
        // Half a message, then the connection ends.
        std::vector<uint8_t> message;
        build(message);
        {
            std::lock_guard<std::mutex> guard(sendLock_);
            Send(message.data(), message.size() / 2, false);
        }
        Drop();
        return false;
    }
    if (fault == "drop") {
        Drop();
        return false;
    }
    if (fault == "stall") {
        SetStalled(true);
        return false;
    }
    return true;
}

void Session::StreamLoop()
{
    const auto period = std::chrono::microseconds(1000000 / options_.framesPerSecond);
    auto next = Clock::now();
    while (!closing_) {
        uint32_t mask;
        bool playing;
        std::string fault;
        {
            std::unique_lock<std::mutex> lock(stateLock_);
            wake_.wait_until(lock, next, [this] { return closing_.load(); });
            if (closing_)
                break;
            const bool active = loggedIn_ && !paused_ && !stalled_ && streamMask_ != 0;
            mask = active ? streamMask_ : 0;
            playing = loggedIn_ && !stalled_ && playbackStreaming_;
            if (mask || playing)
                std::swap(fault, pendingFault_);
        }
        const auto tickStart = next;
        next += period;
        if (Clock::now() > next + 10 * period)
            next = Clock::now(); // fell far behind (a slow reader): do not burst
        // The playback stream sends all channels of an instant together, as
        // the DVR reads them from its disk.
        if (playing) {
            if (!fault.empty()) {
                const bool halted = !ApplyFault(fault, [](std::vector<uint8_t>& message) {
                    // A playback message of a plausible size, its picture all zeros.
                    message = PlaybackMessage(std::vector<uint8_t>(4000), false, false);
                });
                fault.clear();
                if (halted)
                    continue;
            }
            if (!StreamPlayback())
                continue;
        }
        // A DVR's channels are spread over the picture period rather than
        // sent in one burst, and each picture carries its own send time.
        const int active = __builtin_popcount(mask);
        int slot = 0;
        bool halted = false;
        for (int c = 0; c < 16 && !closing_ && !halted; ++c) {
            if (!(mask & (1u << c)))
                continue;
            if (slot > 0)
                std::this_thread::sleep_until(tickStart + period * slot / active);
            ++slot;
            if (ChaosPlan* chaos = server_.Chaos(); chaos && !ChaosTick(*chaos)) {
                halted = closing_.load();
                continue;
            }
            // A request takes effect at once, not after the picture period
            // in progress: a channel it took away is not sent any more.
            {
                std::lock_guard<std::mutex> guard(stateLock_);
                if (!(streamMask_ & (1u << c)) || paused_)
                    continue;
            }
            const auto build = [this, c](std::vector<uint8_t>& message) { BuildPicture(c, message); };
            if (!fault.empty()) {
                halted = !ApplyFault(fault, build);
                fault.clear();
            }
            halted = halted || !ApplyPeriodicFaults(build);
            if (!halted)
                SendPicture(c);
        }
    }
}

bool Session::ApplyPeriodicFaults(const std::function<void(std::vector<uint8_t>&)>& build)
{
    const long sent = ++picturesSent_;
    // Under the chaos schedule the faults of --fault strike when it says.
    if (options_.faults.empty() || server_.Chaos() || sent % options_.faultAfter != 0)
        return true;
    bool halted = false;
    for (const std::string& f : options_.faults) {
        if (f == "slow")
            continue;
        const bool once = f == "short" || f == "drop" || f == "stall" || f == "bad-code";
        if (once && sent != options_.faultAfter)
            continue;
        halted = halted || !ApplyFault(f, build);
    }
    return !halted;
}

void Session::SendPicture(int channel)
{
    BuildPicture(channel, message_);
    std::lock_guard<std::mutex> guard(sendLock_);
    if (!Send(message_.data(), message_.size(), Slow())) {
        closing_ = true;
        return;
    }
    const size_t skip = kMessageHeaderSize + (options_.noPrefix ? 0 : kDataPrefixSize);
    server_.CopySent(message_.data() + skip, message_.size() - skip);
}

} // namespace testdvr

namespace testdvr {

bool Session::ChaosTick(ChaosPlan& chaos)
{
    const auto now = Clock::now();
    auto healthy = [&] {
        chaosStep_ = chaos.Next();
        chaosUntil_ = now + chaosStep_.healthy;
        server_.Log("chaos healthy at " + std::to_string(WallMilliseconds()) + " for " +
                    std::to_string(chaosStep_.healthy.count()) + " ms");
    };
    if (!chaosStarted_) {
        chaosStarted_ = true;
        healthy();
        return true;
    }
    if (chaosLasting_ == "ended")
        return false;
    if (!chaosLasting_.empty()) {
        if (now < chaosUntil_)
            return chaosLasting_ != "black-hole";
        chaosLasting_.clear();
        trickle_ = false;
        healthy();
        return true;
    }
    if (now < chaosUntil_)
        return true;
    const std::string fault = chaosStep_.fault;
    server_.Log("chaos fault " + fault + " at " + std::to_string(WallMilliseconds()));
    if (fault == "black-hole" || fault == "stall" || fault == "trickle" || fault == "slow") {
        chaosLasting_ = fault == "black-hole" || fault == "stall" ? "black-hole" : "trickle";
        trickle_ = chaosLasting_ == "trickle";
        chaosUntil_ = now + chaosStep_.lasting;
        return chaosLasting_ == "trickle";
    }
    if (!ApplyChaosFault(fault, chaos, 0))
        return false;
    if (fault == "bad-code") {
        // The viewer gives the connection up after these headers; nothing
        // healthy follows on it.
        chaosLasting_ = "ended";
        return false;
    }
    healthy();
    return true;
}

bool Session::ApplyChaosFault(const std::string& fault, ChaosPlan& chaos, int channel)
{
    if (fault == "huge-length" || fault == "zero-length") {
        uint8_t header[kMessageHeaderSize];
        MessageHeader h;
        h.code = cmd::Live;
        h.sub = 1;
        h.length = fault == "huge-length" ? 0x7FFFFFFF : 0;
        h.Write(header);
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(header, sizeof header, false);
    }
    if (fault == "garbage-burst") {
        const std::vector<uint8_t> burst = chaos.Burst();
        std::lock_guard<std::mutex> guard(sendLock_);
        return Send(burst.data(), burst.size(), false);
    }
    if (fault == "reset") {
        // Closed with a reset rather than an orderly end: no linger, and the
        // server closes the socket once the reader has seen the end.
        linger hard{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        server_.Log("reset " + peer_);
        closing_ = true;
        ::shutdown(fd_, SHUT_RD);
        wake_.notify_all();
        return false;
    }
    return ApplyFault(fault, [this, channel](std::vector<uint8_t>& message) { BuildPicture(channel, message); });
}

} // namespace testdvr
