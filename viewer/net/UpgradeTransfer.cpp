#include "net/UpgradeTransfer.h"

#include "dvrformat/Upgrade.h"
#include "net/ReceptionStatus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>

namespace tarnvik {

namespace {

// File bytes read at a time: a whole number of pieces.
constexpr size_t kBlockSize = dvrformat::kUpgradePieceSize * 1638;

std::string CantRead(const std::string& path, const std::string& reason)
{
    return "Can't read " + path + ": " + reason;
}

} // namespace

std::string UpgradeFailedText(uint8_t result)
{
    char text[40];
    std::snprintf(text, sizeof text, "Firmware upgrade failed[%02x].", result);
    return text;
}

std::string ConnectRetryQuestion(int error)
{
    return "Socket error " + std::to_string(error) + " : Would you retry ?";
}

std::string UpgradeSocketErrorText(int error)
{
    return "Socket error : [" + std::to_string(error) + "]";
}

int UpgradePercent(uint64_t sent, uint64_t size)
{
    return size == 0 ? 100 : int(std::min<uint64_t>(sent, size) * 100 / size);
}

std::string UpgradeProgressText(uint64_t sent, uint64_t size)
{
    return WithThousands(sent / 1024) + "/" + WithThousands(size / 1024) + "KB(" +
           std::to_string(UpgradePercent(sent, size)) + "%)";
}

UpgradeTransfer::~UpgradeTransfer()
{
    Close();
}

void UpgradeTransfer::Close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool UpgradeTransfer::Open(const std::string& path, std::string& message)
{
    Close();
    path_ = path;
    size_ = wireSize_ = produced_ = wireSent_ = fileRead_ = 0;
    block_.clear();
    blockUsed_ = 0;
    reply_.clear();
    file_ = std::fopen(path.c_str(), "rb");
    struct stat info {};
    int error = errno;
    if (file_ && ::fstat(::fileno(file_), &info) != 0)
        error = errno;
    else if (file_ && S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (file_)
        error = 0;
    if (error != 0) {
        Close();
        message = "Can't open " + path + ": " + std::strerror(error);
        return false;
    }
    if (info.st_size <= 0) {
        Close();
        message = kFirmwareEmpty;
        return false;
    }
    if (uint64_t(info.st_size) > std::numeric_limits<uint32_t>::max()) {
        Close();
        message = kFirmwareTooLarge;
        return false;
    }
    size_ = uint64_t(info.st_size);
    wireSize_ = dvrformat::UpgradeWireSize(size_);
    return true;
}

bool UpgradeTransfer::Produce(std::vector<uint8_t>& out, size_t want, std::string& message)
{
    const size_t start = out.size();
    if (produced_ == 0 && wireSize_ > 0) {
        out.resize(start + dvrformat::kUpgradeSizeMessageSize);
        produced_ += dvrformat::WriteUpgradeSize(uint32_t(size_), out.data() + start);
    }
    while (out.size() - start < want && !AllProduced()) {
        if (blockUsed_ == block_.size()) {
            if (!file_) {
                message = CantRead(path_, std::strerror(EBADF));
                return false;
            }
            const size_t asked = size_t(std::min<uint64_t>(kBlockSize, size_ - fileRead_));
            block_.resize(asked);
            blockUsed_ = 0;
            const size_t got = std::fread(block_.data(), 1, asked, file_);
            if (got < asked) {
                const bool failed = std::ferror(file_);
                message = CantRead(path_, failed ? std::strerror(errno) : kFirmwareShortened);
                Close();
                return false;
            }
            fileRead_ += got;
            if (fileRead_ == size_)
                Close();
        }
        const size_t piece = std::min(dvrformat::kUpgradePieceSize, block_.size() - blockUsed_);
        const size_t at = out.size();
        out.resize(at + dvrformat::kMessageHeaderSize + piece);
        produced_ += dvrformat::WriteUpgradePiece(block_.data() + blockUsed_, piece, out.data() + at);
        blockUsed_ += piece;
    }
    return true;
}

void UpgradeTransfer::Sent(uint64_t wireBytes)
{
    wireSent_ = std::min(produced_, wireSent_ + wireBytes);
}

uint64_t UpgradeTransfer::FileBytesSent() const
{
    return dvrformat::UpgradeFileBytesSent(size_, wireSent_);
}

std::optional<uint8_t> UpgradeTransfer::Received(const uint8_t* p, size_t size)
{
    using Kind = dvrformat::UpgradeReply::Kind;
    while (size > 0) {
        const size_t take = std::min(size, dvrformat::kUpgradeReplyMax - reply_.size());
        reply_.insert(reply_.end(), p, p + take);
        p += take;
        size -= take;
        for (;;) {
            const dvrformat::UpgradeReply reply = dvrformat::ReadUpgradeReply(reply_.data(), reply_.size());
            if (reply.kind == Kind::Result)
                return reply.result;
            if (reply.kind == Kind::Incomplete)
                break;
            reply_.erase(reply_.begin(), reply_.begin() + std::ptrdiff_t(reply.consumed));
        }
    }
    return std::nullopt;
}

} // namespace tarnvik
