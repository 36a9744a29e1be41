#include "Upgrade.h"

#include "ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace dvrformat {

size_t WriteUpgradeSize(uint32_t fileSize, uint8_t* out)
{
    MessageHeader header;
    header.code = upgrade::Code;
    header.sub = upgrade::SubSize;
    header.length = 4;
    header.Write(out);
    StoreLE32(out + kMessageHeaderSize, fileSize);
    return kUpgradeSizeMessageSize;
}

size_t WriteUpgradePiece(const uint8_t* piece, size_t size, uint8_t* out)
{
    size = std::min(size, kUpgradePieceSize);
    MessageHeader header;
    header.code = upgrade::Code;
    header.sub = upgrade::SubPiece;
    header.length = uint32_t(size);
    header.Write(out);
    if (size > 0)
        std::memcpy(out + kMessageHeaderSize, piece, size);
    return kMessageHeaderSize + size;
}

uint64_t UpgradeWireSize(uint64_t fileSize)
{
    const uint64_t pieces = (fileSize + kUpgradePieceSize - 1) / kUpgradePieceSize;
    return kUpgradeSizeMessageSize + fileSize + pieces * kMessageHeaderSize;
}

uint64_t UpgradeFileBytesSent(uint64_t fileSize, uint64_t wireBytes)
{
    if (wireBytes >= UpgradeWireSize(fileSize))
        return fileSize;
    if (wireBytes <= kUpgradeSizeMessageSize)
        return 0;
    // Every piece but the last is a full one.
    const uint64_t wholePieces = (wireBytes - kUpgradeSizeMessageSize) / kUpgradePieceMessageMax;
    return std::min(fileSize, wholePieces * kUpgradePieceSize);
}

UpgradeReply ReadUpgradeReply(const uint8_t* p, size_t size)
{
    UpgradeReply reply;
    if (size < 4)
        return reply;
    const size_t looked = std::min(size, kUpgradeReplyMax);
    if (p[2] == upgrade::Code) {
        reply.kind = UpgradeReply::Kind::Result;
        reply.result = p[3];
        reply.consumed = looked;
        return reply;
    }
    // A message with the magic and a length that fits a reply is skipped
    // exactly, once it is all there.
    const bool magic = LoadBE16(p) == kMessageMagic;
    if (magic && size < kMessageHeaderSize)
        return reply;
    const uint32_t length = magic ? LoadBE32(p + 4) : 0;
    const bool whole = magic && length <= kUpgradeReplyMax - kMessageHeaderSize;
    if (whole && size < kMessageHeaderSize + length)
        return reply;
    reply.kind = UpgradeReply::Kind::Ignored;
    reply.consumed = whole ? kMessageHeaderSize + length : looked;
    return reply;
}

} // namespace dvrformat
