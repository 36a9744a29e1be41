// The DVR command protocol's records: the 8-byte message header, the request
// and reply payloads, the prefix of video messages, the command-code and
// error-code tables. Header and payload integers are big-endian except where
// a field says otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dvrformat {

constexpr uint16_t kMessageMagic = 0x5471;
constexpr size_t kMessageHeaderSize = 8;

// Receive buffer of the viewer: a header plus the largest payload it keeps.
constexpr size_t kReceiveBufferSize = 1048704;
// Frame buffer of the viewer: the largest frame block it keeps.
constexpr size_t kFrameBufferSize = 1048638;
// Playback data messages longer than this are read and dropped.
constexpr uint32_t kPlaybackMessageLimit = 0x100000;

namespace cmd {
constexpr uint8_t Login = 0x02;
constexpr uint8_t Live = 0x03;
constexpr uint8_t Status = 0x04;
constexpr uint8_t PlaybackPosition = 0x06;
constexpr uint8_t PlaybackEnd = 0x07;
constexpr uint8_t Playback = 0x11;
constexpr uint8_t RecordSearch = 0x12;
constexpr uint8_t EventSearch = 0x13;
constexpr uint8_t Backup = 0x21;
constexpr uint8_t Setup = 0x31;
constexpr uint8_t Upgrade = 0x51;
constexpr uint8_t UserDef = 0x91;
constexpr uint8_t Finish = 0x99;
constexpr uint8_t Error = 0xEE;
} // namespace cmd

// Live data messages with this header sub carry no DataPrefix.
constexpr uint8_t kSubNoPrefix = 0x40;

struct MessageHeader {
    uint16_t magic = kMessageMagic;
    uint8_t code = 0;
    uint8_t sub = 0;
    // Payload bytes for every message except video data (0x03 and 0x11 from
    // the DVR), where it counts the whole message including this header.
    uint32_t length = 0;

    static MessageHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;
    bool HasMagic() const { return magic == kMessageMagic; }
};

// True for every code the viewer accepts from a DVR.
bool IsAcceptedIncomingCode(uint8_t code);
// Payload size of a request the viewer sends, decided by the code alone.
size_t RequestPayloadSize(uint8_t code);
// Trace line of a request sent with this code and sub (no line feed).
std::string SentTraceName(uint8_t code, uint8_t sub);
// Trace line of a message received with this accepted code (no line feed).
std::string ReceivedTraceName(uint8_t code);

constexpr size_t kLoginRequestSize = 20;
constexpr size_t kLoginPasswordMax = 8;

struct LoginRequest {
    uint8_t administrator = 0;
    uint8_t speed = 0;
    uint8_t codec = 0;
    std::string password; // at most 8 characters are sent

    // Speed byte of every request: the profile's speed setting minus 1, 0 for 0.
    static uint8_t SpeedByte(int speedSetting);
    void Write(uint8_t* p) const;
    static LoginRequest Read(const uint8_t* p);
};

// The viewer keeps this many bytes of a login reply's payload.
constexpr size_t kLoginReplyKept = 64;
constexpr size_t kLoginReplySize = 13;

struct LoginReply {
    uint8_t result = 0; // 0 = refused
    uint32_t version = 0;
    uint32_t model = 0;
    uint32_t type = 0;

    // Reads from a payload of `size` bytes; fields beyond it are zero.
    static LoginReply Read(const uint8_t* p, size_t size);
    void Write(uint8_t* p) const; // writes kLoginReplySize bytes
};

constexpr size_t kStreamRequestSize = 12;

namespace op {
constexpr uint8_t LiveResume = 1;
constexpr uint8_t SetPosition = 3;
constexpr uint8_t EndSession = 4;
constexpr uint8_t StreamNoAudio = 16;
constexpr uint8_t StreamWithAudio = 17;
constexpr uint8_t StepForward = 18;
constexpr uint8_t Stop = 20;
constexpr uint8_t StepBackward = 23;
constexpr uint8_t PtzLeft = '1';
constexpr uint8_t PtzRight = '2';
constexpr uint8_t PtzUp = '3';
constexpr uint8_t PtzDown = '4';
constexpr uint8_t PtzZoomIn = '5';
constexpr uint8_t PtzZoomOut = '6';
constexpr uint8_t PtzFocusFar = '7';
constexpr uint8_t PtzFocusNear = '8';
constexpr uint8_t PtzStop = '9';
} // namespace op

inline bool IsPtzOp(uint8_t o) { return o >= op::PtzLeft && o <= op::PtzStop; }

struct StreamRequest {
    // Channel mask (bit n = channel n). In a pan/tilt/zoom request the field
    // holds the 1-based channel number instead, little-endian.
    uint32_t channels = 0;
    bool channelFieldLittleEndian = false;
    uint32_t time = 0;
    uint8_t op = 0;
    uint8_t panes = 0;
    uint8_t speed = 0;
    uint8_t mode = 0; // 1 live, 2 remote playback

    static StreamRequest PanTiltZoom(int channel, uint8_t ptzOp, uint8_t speed);
    void Write(uint8_t* p) const;
    // Reads the channel field big-endian; PtzChannel() reinterprets it.
    static StreamRequest Read(const uint8_t* p);
    // The 0-based channel of a pan/tilt/zoom request read with Read().
    int PtzChannel() const;
};

// The DvrTime of a local date and time: its fields counted as if they were
// UTC, so that the DVR receives its own wall-clock time whatever this
// computer's time zone. Dates before 1970 give 0, dates past 2106 the
// largest value.
uint32_t MakeDvrTime(int year, int month, int day, int hour, int minute, int second);

constexpr size_t kDataPrefixSize = 14;

struct DataPrefix {
    uint16_t recording = 0;      // bytes 6..7, little-endian: non-zero while the DVR records
    uint8_t playbackStopped = 0; // byte 9
    uint8_t unpaced = 0;         // byte 13: show without display pacing

    static DataPrefix Read(const uint8_t* p);
    void Write(uint8_t* p) const; // the bytes it does not model are zero
};

constexpr size_t kErrorReplySize = 2;

// Text of an error code: the trace line after "Return Error Code : %04x",
// and the message shown to the user (empty when none is shown).
struct ErrorText {
    std::string trace;
    std::string message;
};
ErrorText DescribeErrorCode(uint16_t code);

// "Return Error Code : %04x"
std::string ErrorCodeTraceLine(uint16_t code);

} // namespace dvrformat
