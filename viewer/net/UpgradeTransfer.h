// The firmware upgrade's transfer, without a socket: the file read in
// pieces and turned into the upgrade messages, the progress of what the
// socket has sent, and the DVR's reply. The upgrade page drives it from its
// socket's signals, so the window never waits for the network.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tarnvik {

// The messages the upgrade shows (English; the window translates them).
inline constexpr const char* kNoFirmwareFile = "Not loaded firmware file";
inline constexpr const char* kCantConnectToServer = "Can't connect to server";
inline constexpr const char* kUpgradeCompleteText = "Complete Firmware upgrade.";
inline constexpr const char* kUpgradeClosedEarly = "The DVR closed the connection before confirming the upgrade.";
inline constexpr const char* kFirmwareEmpty = "The firmware file is empty.";
inline constexpr const char* kFirmwareTooLarge = "The firmware file is larger than 4 GiB.";
inline constexpr const char* kFirmwareShortened = "The file became shorter while it was sent.";
// "Firmware upgrade failed[%02x]."
std::string UpgradeFailedText(uint8_t result);
// "Socket error %d : Would you retry ?"
std::string ConnectRetryQuestion(int error);
// "Socket error : [%d]"
std::string UpgradeSocketErrorText(int error);
// "%s/%sKB(%d%%)": kilobytes sent and in all (thousands separated, as the
// rate display writes them) and the percentage; an empty file is at 100%.
std::string UpgradeProgressText(uint64_t sent, uint64_t size);
int UpgradePercent(uint64_t sent, uint64_t size);

class UpgradeTransfer {
public:
    UpgradeTransfer() = default;
    ~UpgradeTransfer();
    UpgradeTransfer(const UpgradeTransfer&) = delete;
    UpgradeTransfer& operator=(const UpgradeTransfer&) = delete;

    // Opens the firmware file and takes its size; an empty file, a file too
    // large for the size message and one that cannot be opened are refused
    // with the message to show. Anything opened before is closed.
    bool Open(const std::string& path, std::string& message);
    void Close();
    uint64_t Size() const { return size_; }

    // Appends whole messages (the size message first, then the pieces) to
    // `out` until it has grown by at least `want` bytes or every piece is
    // out. The file is read a block at a time, never whole. False with the
    // message to show when it cannot be read or ends early.
    bool Produce(std::vector<uint8_t>& out, size_t want, std::string& message);
    bool AllProduced() const { return produced_ >= wireSize_; }

    // The socket has sent `wireBytes` more of what was produced.
    void Sent(uint64_t wireBytes);
    bool AllSent() const { return wireSent_ >= wireSize_; }
    uint64_t FileBytesSent() const;
    int Percent() const { return UpgradePercent(FileBytesSent(), size_); }
    std::string ProgressText() const { return UpgradeProgressText(FileBytesSent(), size_); }

    // Bytes from the DVR. The result once a reply has come; messages whose
    // byte 2 is not the upgrade code are skipped. Keeps at most one reply's
    // worth of bytes, whatever the DVR sends.
    std::optional<uint8_t> Received(const uint8_t* p, size_t size);

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t size_ = 0;
    uint64_t wireSize_ = 0;
    uint64_t produced_ = 0;  // wire bytes handed out by Produce
    uint64_t wireSent_ = 0;  // wire bytes the socket has sent
    uint64_t fileRead_ = 0;  // file bytes read so far
    // The block read last and how far its pieces have gone out.
    std::vector<uint8_t> block_;
    size_t blockUsed_ = 0;
    std::vector<uint8_t> reply_;
};

} // namespace tarnvik
