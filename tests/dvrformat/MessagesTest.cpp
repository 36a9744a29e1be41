#include "dvrformat/Messages.h"

#include <gtest/gtest.h>

#include <vector>

using namespace dvrformat;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(uint8_t(b));
    return v;
}

} // namespace

TEST(MessageHeader, BigEndianFieldsBothWays)
{
    const auto wire = Bytes({0x54, 0x71, 0x03, 0x40, 0x00, 0x00, 0x10, 0x00});
    const MessageHeader h = MessageHeader::Read(wire.data());
    EXPECT_TRUE(h.HasMagic());
    EXPECT_EQ(h.code, 0x03);
    EXPECT_EQ(h.sub, 0x40);
    EXPECT_EQ(h.length, 4096u);
    std::vector<uint8_t> out(8);
    h.Write(out.data());
    EXPECT_EQ(out, wire);
    EXPECT_FALSE(MessageHeader::Read(Bytes({0x71, 0x54, 0, 0, 0, 0, 0, 0}).data()).HasMagic());
}

TEST(LoginRequest, AdminWithFourCharacterPassword)
{
    LoginRequest r;
    r.administrator = 1;
    r.speed = LoginRequest::SpeedByte(2);
    r.codec = 1;
    r.password = "1234";
    std::vector<uint8_t> out(kLoginRequestSize, 0xAA);
    r.Write(out.data());
    EXPECT_EQ(out, Bytes({1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, '1', '2', '3', '4', 0, 0, 0, 0}));
}

TEST(LoginRequest, PasswordOfEightHasNoTerminatorAndLongerIsCut)
{
    LoginRequest r;
    r.password = "abcdefghij";
    std::vector<uint8_t> out(kLoginRequestSize);
    r.Write(out.data());
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 12, out.end()), Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
    EXPECT_EQ(LoginRequest::Read(out.data()).password, "abcdefgh");
}

TEST(LoginRequest, SpeedByteIsSettingMinusOneExceptZero)
{
    EXPECT_EQ(LoginRequest::SpeedByte(0), 0);
    EXPECT_EQ(LoginRequest::SpeedByte(1), 0);
    EXPECT_EQ(LoginRequest::SpeedByte(2), 1);
}

TEST(LoginReply, FieldsAndShortPayload)
{
    const auto payload = Bytes({1, 0, 0, 3, 3, 0, 0, 0x48, 0x0F, 0, 0, 0x22, 0xF0});
    const LoginReply r = LoginReply::Read(payload.data(), payload.size());
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.version, 0x0303u);
    EXPECT_EQ(r.model, 0x480Fu);
    EXPECT_EQ(r.type, 0x22F0u);
    // A payload shorter than the reply leaves the missing fields zero.
    const LoginReply shortReply = LoginReply::Read(payload.data(), 5);
    EXPECT_EQ(shortReply.version, 0x0303u);
    EXPECT_EQ(shortReply.model, 0u);
    EXPECT_EQ(shortReply.type, 0u);
}

TEST(StreamRequest, BigEndianMaskAndLittleEndianPtzChannel)
{
    StreamRequest r;
    r.channels = 0xFFFF;
    r.time = 0x01020304;
    r.op = op::StreamWithAudio;
    r.panes = 16;
    r.speed = 1;
    r.mode = 1;
    std::vector<uint8_t> out(kStreamRequestSize);
    r.Write(out.data());
    EXPECT_EQ(out, Bytes({0, 0, 0xFF, 0xFF, 1, 2, 3, 4, 17, 16, 1, 1}));

    const StreamRequest ptz = StreamRequest::PanTiltZoom(2, op::PtzZoomIn, 0);
    ptz.Write(out.data());
    EXPECT_EQ(out, Bytes({3, 0, 0, 0, 0, 0, 0, 0, '5', 1, 0, 1}));
    EXPECT_EQ(StreamRequest::Read(out.data()).PtzChannel(), 2);
}

TEST(DataPrefix, RecordingWordIsLittleEndianAndFlagsHaveTheirPlaces)
{
    auto bytes = Bytes({9, 9, 9, 9, 9, 9, 0x01, 0x02, 9, 0, 9, 9, 9, 0});
    DataPrefix p = DataPrefix::Read(bytes.data());
    EXPECT_EQ(p.recording, 0x0201);
    EXPECT_EQ(p.playbackStopped, 0);
    EXPECT_EQ(p.unpaced, 0);
    bytes[9] = 1;
    bytes[13] = 7;
    p = DataPrefix::Read(bytes.data());
    EXPECT_EQ(p.playbackStopped, 1);
    EXPECT_EQ(p.unpaced, 7);
}

TEST(CommandCodes, AcceptedCodesAndRequestSizes)
{
    for (int code : {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x08, 0x11, 0x12, 0x13, 0x21, 0x31, 0x51, 0x91, 0x99, 0xEE})
        EXPECT_TRUE(IsAcceptedIncomingCode(uint8_t(code))) << code;
    for (int code : {0x05, 0x09, 0x10, 0x14, 0x22, 0x98, 0xEF, 0xFF})
        EXPECT_FALSE(IsAcceptedIncomingCode(uint8_t(code))) << code;
    EXPECT_EQ(RequestPayloadSize(0x02), 20u);
    for (int code : {0x03, 0x06, 0x07, 0x11, 0x12, 0x13, 0x91})
        EXPECT_EQ(RequestPayloadSize(uint8_t(code)), 12u) << code;
    for (int code : {0x04, 0x21, 0x31, 0x51, 0x99, 0xEE})
        EXPECT_EQ(RequestPayloadSize(uint8_t(code)), 0u) << code;
}

TEST(CommandCodes, TraceNames)
{
    EXPECT_EQ(SentTraceName(0x02, 1), ">>dvr_cmd_login");
    EXPECT_EQ(SentTraceName(0x03, 20), ">>dvr_cmd_live 20");
    EXPECT_EQ(SentTraceName(0x07, 4), ">>dvr_cmd_playback");
    EXPECT_EQ(SentTraceName(0x31, 0), ">>dvr_cmd_setup");
    EXPECT_EQ(SentTraceName(0x51, 0), ">>dvr_cmd_upgrade");
    EXPECT_EQ(SentTraceName(0x0A, 0), ">>dvr_cmd_0a");
    EXPECT_EQ(ReceivedTraceName(0x11), "<< dvr_cmd_playback");
    EXPECT_EQ(ReceivedTraceName(0x99), "<< dvr_cmd_finish");
    EXPECT_EQ(ReceivedTraceName(0xEE), "<< dvr_cmd_error");
    // Codes with no received name of their own, 0x06 and 0x12 among them.
    EXPECT_EQ(ReceivedTraceName(0x06), "<< dvr_cmd_unknown(06)");
    EXPECT_EQ(ReceivedTraceName(0x12), "<< dvr_cmd_unknown(12)");
}

TEST(ErrorCodes, TextsAndMessages)
{
    struct Row {
        uint16_t code;
        const char* trace;
        const char* message;
    };
    const Row rows[] = {
        {0x0000, "NO ERROR !!", ""},
        {0x2002, "ERROR : UNKNOWN COMMAND!!", "Unknown command"},
        {0x4003, "ERROR : INVALID CHANNEL ID!!", "Unknown argument"},
        {0x1001, "ERROR : UNKNOWN ERROR!!", ""},
        {0x3008, "ERROR : CONNECTION CLOSED!!", ""},
        {0x0009, "ERROR : TIMEOUT!!", ""},
        {0x100F, "ERROR : Network index invalid!!", ""},
        {0x1022, "ERROR : The password was incorrect.", "The passwordd was incorrect."},
        {0x1023, "ERROR : The connection session was exceeded.", "The connection session was exceeded.."},
        {0x3022, "ERROR : FILE OPEN ERROR!!", "File open error."},
        {0x3025, "INFO : It is the last position of recorded data.", "It is the last position of recorded data."},
        {0x4022, "ERROR : FILE OPEN ERROR!!", ""},
        {0x3099, "ERROR : OTHER(0x3099)!!", ""},
        {0x5002, "ERROR : OTHER(0x5002)!!", ""},
        {0x2021, "ERROR : OTHER(0x2021)!!", ""},
    };
    for (const Row& row : rows) {
        const ErrorText text = DescribeErrorCode(row.code);
        EXPECT_EQ(text.trace, row.trace) << std::hex << row.code;
        EXPECT_EQ(text.message, row.message) << std::hex << row.code;
    }
    EXPECT_EQ(ErrorCodeTraceLine(0x3099), "Return Error Code : 3099");
    EXPECT_EQ(ErrorCodeTraceLine(0x0002), "Return Error Code : 0002");
}
