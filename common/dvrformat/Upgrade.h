// The firmware upgrade's messages, on a connection of their own: the viewer
// announces the file size ('Q' 'R') and sends the file in small pieces
// ('Q' 'S'); the DVR answers with one message whose qualifier is the result.
// Every message is a MessageHeader (length = payload bytes) and its payload.
#pragma once

#include "Messages.h"

#include <cstddef>
#include <cstdint>

namespace dvrformat {

namespace upgrade {
constexpr uint8_t Code = cmd::Upgrade;  // 'Q'
constexpr uint8_t SubSize = 0x52;       // 'R': payload is the file size, u32 little-endian
constexpr uint8_t SubPiece = 0x53;      // 'S': payload is the next piece of the file
constexpr uint8_t Complete = 0x91;      // the reply's result when the DVR took the firmware
} // namespace upgrade

constexpr size_t kUpgradeSizeMessageSize = kMessageHeaderSize + 4;
// The file goes in pieces of this many bytes, the last one shorter.
constexpr size_t kUpgradePieceSize = 40;
constexpr size_t kUpgradePieceMessageMax = kMessageHeaderSize + kUpgradePieceSize;
// No upgrade message carries more payload than this; a receiver refuses more.
constexpr size_t kUpgradePayloadMax = 512;
// The viewer looks at no more than this many bytes of a reply.
constexpr size_t kUpgradeReplyMax = 64;

// Writes the size message ('Q' 'R'); returns kUpgradeSizeMessageSize.
size_t WriteUpgradeSize(uint32_t fileSize, uint8_t* out);
// Writes a piece message ('Q' 'S') of `size` bytes (1..kUpgradePieceSize;
// more is cut to the piece size); returns the bytes written.
size_t WriteUpgradePiece(const uint8_t* piece, size_t size, uint8_t* out);

// The wire bytes of a whole upgrade of `fileSize` bytes: the size message
// and every piece message.
uint64_t UpgradeWireSize(uint64_t fileSize);
// How many file bytes have gone once `wireBytes` of the upgrade's messages
// have been sent: only whole piece messages count.
uint64_t UpgradeFileBytesSent(uint64_t fileSize, uint64_t wireBytes);

// What the first bytes of the DVR's answer say. Byte 2 must be 'Q' and byte
// 3 is the result; the rest decides nothing (the magic serves only to skip
// an ignored message exactly).
struct UpgradeReply {
    enum class Kind {
        Incomplete, // fewer than 4 bytes, or a message to skip not yet whole: wait for more
        Ignored,    // byte 2 is not 'Q': skip `consumed` bytes and keep waiting
        Result,     // `result` holds the DVR's answer
    };
    Kind kind = Kind::Incomplete;
    uint8_t result = 0;
    // Bytes that belong to this reply or ignored message. An ignored message
    // that reads as a header with a small length is skipped exactly, so a
    // reply right behind it is still found; anything else is skipped up to
    // kUpgradeReplyMax bytes at a time.
    size_t consumed = 0;
};
UpgradeReply ReadUpgradeReply(const uint8_t* p, size_t size);

} // namespace dvrformat
