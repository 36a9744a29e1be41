#include "DvrProtocol.h"

#include "net/Trace.h"

#include <cstdio>
#include <thread>

namespace tarnvik {

using namespace dvrformat;

std::string ConnectionClosedWithCode(uint16_t lastErrorCode)
{
    char text[32];
    std::snprintf(text, sizeof text, "Connection closed.(%02x)", lastErrorCode & 0xFF);
    return text;
}

DvrProtocol::DvrProtocol(ByteStream& socket, Notifier& notifier, std::chrono::milliseconds badHeaderPause)
    : socket_(socket)
    , notifier_(notifier)
    , badHeaderPause_(badHeaderPause)
    , receiveBuffer_(new uint8_t[kReceiveBufferSize]())
{
}

void DvrProtocol::SendCommand(uint8_t code, uint8_t sub, const uint8_t* payload)
{
    if (!socket_.IsConnected())
        return;
    const size_t size = RequestPayloadSize(code);
    uint8_t message[kMessageHeaderSize + kLoginRequestSize] = {};
    MessageHeader header;
    header.code = code;
    header.sub = sub;
    header.length = uint32_t(size);
    header.Write(message);
    if (size > 0 && payload)
        std::copy(payload, payload + size, message + kMessageHeaderSize);
    Trace(SentTraceName(code, sub));
    socket_.Write(message, kMessageHeaderSize + size);
}

void DvrProtocol::SendLogin(const LoginRequest& request)
{
    uint8_t payload[kLoginRequestSize];
    request.Write(payload);
    SendCommand(cmd::Login, 1, payload);
}

void DvrProtocol::SendStreamRequest(uint8_t code, uint8_t sub, const StreamRequest& request)
{
    uint8_t payload[kStreamRequestSize];
    request.Write(payload);
    SendCommand(code, sub, payload);
}

void DvrProtocol::BeginConnection()
{
    loginSeen_ = false;
    lastErrorCode_ = 0;
    badHeaders_ = 0;
    implausibleLengths_ = 0;
    payloadSize_ = 0;
}

bool DvrProtocol::Discard(size_t n)
{
    uint8_t scratch[4096];
    while (n > 0) {
        const size_t step = n < sizeof scratch ? n : sizeof scratch;
        if (socket_.ReceiveExact(scratch, step) != int(step))
            return false;
        n -= step;
    }
    return true;
}

int DvrProtocol::ReceiveBounded(uint8_t* into, size_t keep, size_t n)
{
    const size_t kept = n < keep ? n : keep;
    const int got = socket_.ReceiveExact(into, kept);
    if (got != int(kept))
        return got;
    if (n > kept && !Discard(n - kept))
        return 0;
    return int(kept);
}

bool DvrProtocol::SearchHeader(MessageHeader& header)
{
    uint8_t previous = 0;
    for (;;) {
        uint8_t byte;
        if (socket_.ReceiveExact(&byte, 1) != 1)
            return false;
        const bool found = previous == 0x54 && byte == 0x71;
        previous = byte;
        if (!found)
            continue;
        uint8_t codeSub[2];
        if (socket_.ReceiveExact(codeSub, 2) != 2)
            return false;
        const uint8_t code = codeSub[0];
        // Only video headers are worth resynchronising on; a playback header
        // is trusted only from DVRs whose type word is not 0x2200.
        if (code == cmd::Live || (code == cmd::Playback && typeWord_ != kTypeWord2200)) {
            uint8_t length[4];
            if (socket_.ReceiveExact(length, 4) != 4)
                return false;
            header.magic = kMessageMagic;
            header.code = code;
            header.sub = codeSub[1];
            header.length = (uint32_t(length[0]) << 24) | (uint32_t(length[1]) << 16) |
                            (uint32_t(length[2]) << 8) | length[3];
            return true;
        }
        previous = codeSub[1];
    }
}

ReadResult DvrProtocol::ReadMessage()
{
    uint8_t* buffer = receiveBuffer_.get();
    ReadResult result;
    for (;;) {
        // A header cut short means the peer closed: nothing after it can be
        // framed, so it ends the connection like an empty read.
        if (socket_.ReceiveExact(buffer, kMessageHeaderSize) != int(kMessageHeaderSize)) {
            result.endMessage = kConnectionClosed;
            return result;
        }
        MessageHeader header = MessageHeader::Read(buffer);
        bool searched = false;
        while (!header.HasMagic() || header.length > kMaxMessageLength) {
            if (header.HasMagic()) {
                ++implausibleLengths_;
                Trace("message length beyond any DVR message: looking for the next header");
            }
            ++badHeaders_;
            std::this_thread::sleep_for(badHeaderPause_);
            if (!SearchHeader(header)) {
                result.endMessage = kConnectionClosed;
                return result;
            }
            searched = true;
        }
        if (searched)
            header.Write(buffer);
        if (!IsAcceptedIncomingCode(header.code)) {
            ++badHeaders_;
            std::this_thread::sleep_for(badHeaderPause_);
            if (badHeaders_ > kBadHeaderLimit) {
                result.endMessage = kConnectionClosed;
                return result;
            }
            continue;
        }
        badHeaders_ = 0;
        payloadSize_ = 0;
        if (header.code != cmd::Live && header.code != cmd::Playback && header.code != cmd::Error &&
            header.length > 0) {
            const size_t room = kReceiveBufferSize - kMessageHeaderSize;
            const int got = ReceiveBounded(buffer + kMessageHeaderSize, room, header.length);
            const size_t expected = header.length < room ? header.length : room;
            if (got != int(expected)) {
                result.endMessage =
                    (got < 0 && !loginSeen_) ? std::string(kConnectionFailed) : ConnectionClosedWithCode(lastErrorCode_);
                return result;
            }
            payloadSize_ = expected;
        }
        lastErrorCode_ = 0;
        if (header.code == cmd::Login)
            loginSeen_ = true;
        Trace(ReceivedTraceName(header.code));
        result.kind = ReadResult::Kind::Message;
        result.header = header;
        return result;
    }
}

VideoMessage DvrProtocol::ReadVideoMessage(const MessageHeader& header, uint8_t* frameBuffer, size_t capacity)
{
    VideoMessage video;
    video.hasPrefix = !(header.code == cmd::Live && header.sub == kSubNoPrefix);
    // The length of a video message counts its own header.
    size_t payload = header.length > kMessageHeaderSize ? header.length - kMessageHeaderSize : 0;
    if (video.hasPrefix) {
        if (payload < kDataPrefixSize) {
            video.status = Discard(payload) ? VideoMessage::Status::Dropped : VideoMessage::Status::Ended;
            return video;
        }
        uint8_t prefix[kDataPrefixSize];
        if (socket_.ReceiveExact(prefix, kDataPrefixSize) != int(kDataPrefixSize))
            return video;
        video.prefix = DataPrefix::Read(prefix);
        payload -= kDataPrefixSize;
    }
    if (payload == 0) {
        video.status = VideoMessage::Status::Dropped;
        return video;
    }
    const int got = ReceiveBounded(frameBuffer, capacity, payload);
    if (got <= 0)
        return video;
    video.blockSize = size_t(got);
    video.status = (payload > capacity || size_t(got) < payload) ? VideoMessage::Status::Dropped
                                                                  : VideoMessage::Status::Ok;
    return video;
}

bool DvrProtocol::HandleErrorReply(const MessageHeader& header)
{
    uint8_t* payload = receiveBuffer_.get() + kMessageHeaderSize;
    payload[0] = payload[1] = 0;
    // An empty reply carries no code; reading zero bytes must not look like
    // the peer closing the connection.
    if (header.length > 0) {
        const size_t room = kReceiveBufferSize - kMessageHeaderSize;
        if (ReceiveBounded(payload, room, header.length) <= 0)
            return false;
    }
    const uint16_t code = header.length >= 2 ? uint16_t((payload[0] << 8) | payload[1]) : uint16_t(payload[0] << 8);
    lastErrorCode_ = code;
    const ErrorText text = DescribeErrorCode(code);
    Trace(ErrorCodeTraceLine(code));
    Trace(text.trace);
    if (!text.message.empty())
        notifier_.ShowMessage(text.message, MessageIcon::Information, MessageButtons::Ok);
    return true;
}

} // namespace tarnvik
