// Reading and sending messages of the DVR command protocol on a connection
// (a DvrSocket, or bytes in memory for fuzzing):
// the length rule, the accepted codes, resynchronisation after garbage, the
// bad-header limit, the end-of-connection messages and error replies.
//
// Threads: ReadMessage, ReadVideoMessage and HandleErrorReply run on the
// command task only; SendCommand runs on the user-interface thread. The two
// sides share nothing but the socket.
#pragma once

#include "dvrformat/FrameHeader.h"
#include "dvrformat/Messages.h"
#include "net/ByteStream.h"
#include "net/Notifier.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tarnvik {

// The messages with which a broken connection ends.
inline constexpr const char* kConnectionClosed = "Connection closed.";
inline constexpr const char* kConnectionFailed = "Connection failed.";
std::string ConnectionClosedWithCode(uint16_t lastErrorCode); // "Connection closed.(%02x)"

struct ReadResult {
    enum class Kind { Message, Ended } kind = Kind::Ended;
    dvrformat::MessageHeader header;
    // For Ended: the message to show after disconnecting (empty: none).
    std::string endMessage;
};

struct VideoMessage {
    enum class Status {
        Ok,      // the frame block is in the frame buffer
        Dropped, // the message was consumed but holds no usable frame block
        Ended,   // the connection failed; disconnect without a message
    } status = Status::Ended;
    bool hasPrefix = false;
    dvrformat::DataPrefix prefix;
    size_t blockSize = 0; // bytes of the frame block (valid for Ok)
};

class DvrProtocol {
public:
    static constexpr int kBadHeaderLimit = 100;
    // No DVR message comes near this length (a frame block is at most
    // 1 MiB): a header claiming more is corrupted, and skipping what it
    // claims would discard up to 4 GiB of a healthy stream. Such a header
    // is treated as one with a wrong magic: the reader looks for the next.
    static constexpr uint32_t kMaxMessageLength = 16u * 1024 * 1024;
    static constexpr std::chrono::milliseconds kBadHeaderPause{100};

    DvrProtocol(ByteStream& socket, Notifier& notifier,
                std::chrono::milliseconds badHeaderPause = kBadHeaderPause);

    // Builds the header (length = payload size for the code) and writes header
    // and payload in one write. `payload` must hold RequestPayloadSize(code)
    // bytes (may be null when that is 0). Does nothing without a connection.
    void SendCommand(uint8_t code, uint8_t sub, const uint8_t* payload);
    void SendLogin(const dvrformat::LoginRequest& request);
    void SendStreamRequest(uint8_t code, uint8_t sub, const dvrformat::StreamRequest& request);

    // Per-connection state: call once a new connection is open.
    void BeginConnection();

    // Reads the next message. For codes other than 0x03, 0x11 and 0xEE the
    // payload is read too (Payload()). A login reply marks login as seen.
    ReadResult ReadMessage();

    // Reads the rest of a live (0x03) or playback (0x11) data message into
    // `frameBuffer`. A frame block larger than `capacity` is read past and
    // dropped so the stream stays in step.
    VideoMessage ReadVideoMessage(const dvrformat::MessageHeader& header, uint8_t* frameBuffer, size_t capacity);

    // Reads an error reply's payload, traces it, shows its message. Returns
    // false when the read failed and the connection must end silently.
    bool HandleErrorReply(const dvrformat::MessageHeader& header);

    // The payload of the last non-video message (at most the buffer's room).
    const uint8_t* Payload() const { return receiveBuffer_.get() + dvrformat::kMessageHeaderSize; }
    size_t PayloadSize() const { return payloadSize_; }

    void SetDvrTypeWord(uint32_t typeWord) { typeWord_ = typeWord; }
    bool LoginSeen() const { return loginSeen_; }
    uint16_t LastErrorCode() const { return lastErrorCode_; }
    int BadHeaderCount() const { return badHeaders_; }
    // Headers of this connection refused for a length beyond kMaxMessageLength.
    int ImplausibleLengthCount() const { return implausibleLengths_; }

private:
    bool SearchHeader(dvrformat::MessageHeader& header);
    // Reads n bytes and throws away those beyond `keep`, which go to `into`.
    int ReceiveBounded(uint8_t* into, size_t keep, size_t n);
    bool Discard(size_t n);

    ByteStream& socket_;
    Notifier& notifier_;
    std::chrono::milliseconds badHeaderPause_;
    std::unique_ptr<uint8_t[]> receiveBuffer_;
    size_t payloadSize_ = 0;
    uint32_t typeWord_ = 0xFFFFFFFF;
    bool loginSeen_ = false;
    uint16_t lastErrorCode_ = 0;
    int badHeaders_ = 0;
    int implausibleLengths_ = 0;
};

} // namespace tarnvik
