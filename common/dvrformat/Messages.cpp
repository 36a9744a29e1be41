#include "Messages.h"

#include "ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dvrformat {

MessageHeader MessageHeader::Read(const uint8_t* p)
{
    MessageHeader h;
    h.magic = LoadBE16(p);
    h.code = p[2];
    h.sub = p[3];
    h.length = LoadBE32(p + 4);
    return h;
}

void MessageHeader::Write(uint8_t* p) const
{
    StoreBE16(p, magic);
    p[2] = code;
    p[3] = sub;
    StoreBE32(p + 4, length);
}

bool IsAcceptedIncomingCode(uint8_t code)
{
    switch (code) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x06: case 0x07: case 0x08:
    case 0x11: case 0x12: case 0x13: case 0x21: case 0x31: case 0x51: case 0x91: case 0x99: case 0xEE:
        return true;
    default:
        return false;
    }
}

size_t RequestPayloadSize(uint8_t code)
{
    switch (code) {
    case cmd::Login:
        return kLoginRequestSize;
    case cmd::Live: case cmd::PlaybackPosition: case cmd::PlaybackEnd: case cmd::Playback:
    case cmd::RecordSearch: case cmd::EventSearch: case cmd::UserDef:
        return kStreamRequestSize;
    default:
        return 0;
    }
}

static std::string HexCode(const char* format, unsigned value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string SentTraceName(uint8_t code, uint8_t sub)
{
    switch (code) {
    case cmd::Login: return ">>dvr_cmd_login";
    case cmd::Live: return HexCode(">>dvr_cmd_live %d", sub);
    case cmd::PlaybackPosition: case cmd::PlaybackEnd: case cmd::Playback: return ">>dvr_cmd_playback";
    case cmd::RecordSearch: return ">>dvr_cmd_record_search";
    case cmd::EventSearch: return ">>dvr_cmd_event_search";
    case cmd::Backup: return ">>dvr_cmd_backup";
    case cmd::Setup: return ">>dvr_cmd_setup";
    case cmd::Upgrade: return ">>dvr_cmd_upgrade";
    case cmd::UserDef: return ">>dvr_cmd_userdef";
    default: return HexCode(">>dvr_cmd_%02x", code);
    }
}

std::string ReceivedTraceName(uint8_t code)
{
    switch (code) {
    case cmd::Login: return "<< dvr_cmd_login";
    case cmd::Live: return "<< dvr_cmd_live";
    case cmd::Status: return "<< dvr_cmd_status";
    case cmd::Playback: return "<< dvr_cmd_playback";
    case cmd::EventSearch: return "<< dvr_cmd_event_search";
    case cmd::Backup: return "<< dvr_cmd_backup";
    case cmd::Setup: return "<< dvr_cmd_setup";
    case cmd::Finish: return "<< dvr_cmd_finish";
    case cmd::Error: return "<< dvr_cmd_error";
    default: return HexCode("<< dvr_cmd_unknown(%02x)", code);
    }
}

uint8_t LoginRequest::SpeedByte(int speedSetting)
{
    return speedSetting == 0 ? 0 : uint8_t(speedSetting - 1);
}

void LoginRequest::Write(uint8_t* p) const
{
    std::memset(p, 0, kLoginRequestSize);
    p[0] = administrator;
    p[1] = speed;
    p[2] = codec;
    std::memcpy(p + 12, password.data(), std::min(password.size(), kLoginPasswordMax));
}

LoginRequest LoginRequest::Read(const uint8_t* p)
{
    LoginRequest r;
    r.administrator = p[0];
    r.speed = p[1];
    r.codec = p[2];
    const char* pw = reinterpret_cast<const char*>(p + 12);
    r.password.assign(pw, strnlen(pw, kLoginPasswordMax));
    return r;
}

LoginReply LoginReply::Read(const uint8_t* p, size_t size)
{
    uint8_t bytes[kLoginReplySize] = {};
    std::memcpy(bytes, p, std::min(size, kLoginReplySize));
    LoginReply r;
    r.result = bytes[0];
    r.version = LoadBE32(bytes + 1);
    r.model = LoadBE32(bytes + 5);
    r.type = LoadBE32(bytes + 9);
    return r;
}

void LoginReply::Write(uint8_t* p) const
{
    p[0] = result;
    StoreBE32(p + 1, version);
    StoreBE32(p + 5, model);
    StoreBE32(p + 9, type);
}

StreamRequest StreamRequest::PanTiltZoom(int channel, uint8_t ptzOp, uint8_t speed)
{
    StreamRequest r;
    r.channels = uint32_t(channel + 1);
    r.channelFieldLittleEndian = true;
    r.op = ptzOp;
    r.panes = 1;
    r.speed = speed;
    r.mode = 1;
    return r;
}

void StreamRequest::Write(uint8_t* p) const
{
    if (channelFieldLittleEndian)
        StoreLE32(p, channels);
    else
        StoreBE32(p, channels);
    StoreBE32(p + 4, time);
    p[8] = op;
    p[9] = panes;
    p[10] = speed;
    p[11] = mode;
}

StreamRequest StreamRequest::Read(const uint8_t* p)
{
    StreamRequest r;
    r.channels = LoadBE32(p);
    r.time = LoadBE32(p + 4);
    r.op = p[8];
    r.panes = p[9];
    r.speed = p[10];
    r.mode = p[11];
    return r;
}

int StreamRequest::PtzChannel() const
{
    // The field was read big-endian; the sender wrote it little-endian.
    uint32_t le = __builtin_bswap32(channels);
    return int(le) - 1;
}

uint32_t MakeDvrTime(int year, int month, int day, int hour, int minute, int second)
{
    // Days since 1970-01-01 of a proleptic Gregorian date (March-based
    // years, so that the leap day ends a year).
    const int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    const int64_t seconds = days * 86400 + int64_t(hour) * 3600 + int64_t(minute) * 60 + second;
    return seconds < 0 ? 0 : seconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(seconds);
}

DataPrefix DataPrefix::Read(const uint8_t* p)
{
    DataPrefix d;
    d.recording = LoadLE16(p + 6);
    d.playbackStopped = p[9];
    d.unpaced = p[13];
    return d;
}

void DataPrefix::Write(uint8_t* p) const
{
    std::memset(p, 0, kDataPrefixSize);
    StoreLE16(p + 6, recording);
    p[9] = playbackStopped;
    p[13] = unpaced;
}

std::string ErrorCodeTraceLine(uint16_t code)
{
    return HexCode("Return Error Code : %04x", code);
}

ErrorText DescribeErrorCode(uint16_t code)
{
    switch (code) {
    case 0x0000: return {"NO ERROR !!", ""};
    case 0x1021: return {"ERROR : There is not a valid accounts.", "There is not a valid accounts."};
    case 0x1022: return {"ERROR : The password was incorrect.", "The passwordd was incorrect."};
    case 0x1023: return {"ERROR : The connection session was exceeded.", "The connection session was exceeded.."};
    case 0x1024:
        return {"ERROR : While backup it will not be able to connect.!!",
                "While backup it will not be able to connect."};
    case 0x3021: return {"INFO : There is not a search data.", "There is not a search data."};
    case 0x3022: return {"ERROR : FILE OPEN ERROR!!", "File open error."};
    case 0x3023:
        return {"INFO : While reading a data stream, the error occurred.",
                "While reading a data stream, the error occurred."};
    case 0x3024:
        return {"INFO : It is the first position of recorded data.", "It is the first position of recorded data."};
    case 0x3025:
        return {"INFO : It is the last position of recorded data.", "It is the last position of recorded data."};
    case 0x3026: return {"INFO : The playback session exists already.", "The playback session exists already."};
    case 0x3027:
        return {"INFO : While backup it will not be able to continue.",
                "While backup it will not be able to continue."};
    case 0x4021: return {"ERROR : NO DATA FOR BACKUP!!", ""};
    case 0x4022: return {"ERROR : FILE OPEN ERROR!!", ""};
    case 0x4023: return {"ERROR : READ ERROR FOR BACKUP DATA!!", ""};
    default: break;
    }
    const unsigned family = code >> 8;
    if (family == 0x00 || family == 0x10 || family == 0x20 || family == 0x30 || family == 0x40) {
        switch (code & 0xFF) {
        case 0x01: return {"ERROR : UNKNOWN ERROR!!", ""};
        case 0x02: return {"ERROR : UNKNOWN COMMAND!!", "Unknown command"};
        case 0x03: return {"ERROR : INVALID CHANNEL ID!!", "Unknown argument"};
        case 0x08: return {"ERROR : CONNECTION CLOSED!!", ""};
        case 0x09: return {"ERROR : TIMEOUT!!", ""};
        case 0x0F: return {"ERROR : Network index invalid!!", ""};
        default: break;
        }
    }
    return {HexCode("ERROR : OTHER(%#04x)!!", code), ""};
}

} // namespace dvrformat
