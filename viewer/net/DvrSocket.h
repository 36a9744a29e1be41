// The viewer's one TCP connection to a DVR. Opening connects (blocking),
// then the socket is non-blocking; ReceiveExact reads a given number of bytes
// with an inactivity limit counted from the last byte received, or from the
// end of a time in which the peer was expected to be silent. A peer that
// dies while it is silent is found by TCP keep-alive.
//
// Threads: one reader (the command task) and one writer (the user-interface
// thread) may use an open connection at the same time. Close may be called
// from either; it shuts the connection down, which wakes a waiting reader
// (its read returns 0). The descriptor itself is released only by the next
// Open or by destruction, so a reader still inside Read never touches a
// descriptor number that was reused for something else. Open must not run
// while another thread still reads the previous connection.
#pragma once

#include "net/ByteStream.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace tarnvik {

class DvrSocket final : public ByteStream {
public:
    static constexpr std::chrono::milliseconds kDefaultInactivityLimit{30000};
    static constexpr std::chrono::milliseconds kDefaultConnectLimit{20000};

    explicit DvrSocket(std::chrono::milliseconds inactivityLimit = kDefaultInactivityLimit);
    ~DvrSocket() override;
    DvrSocket(const DvrSocket&) = delete;
    DvrSocket& operator=(const DvrSocket&) = delete;

    // Resolves `host` (a name or a dotted address) and connects to `port`.
    // Fails without any connect attempt when the name does not resolve, and
    // always fails on an object that was not the first one alive.
    bool Open(const std::string& host, uint16_t port);
    // Makes an Open running (or about to run) on another thread give up
    // within a few milliseconds; it fails with ECANCELED. The request is used
    // up by that Open, so call it only while one runs or is about to.
    void CancelOpen() { cancelOpen_ = true; }
    // Drops a cancel that no Open has used, before a new attempt starts.
    void ForgetCancel() { cancelOpen_ = false; }
    // One receive: the byte count, 0 when the peer has closed, -1 on error,
    // including when no data is waiting.
    int Read(uint8_t* buffer, size_t n);
    // Sends all n bytes (waiting for room at most the inactivity limit).
    // Returns n, or -1 when the send failed; LastError() tells why.
    int Write(const uint8_t* buffer, size_t n) override;
    void Close();
    // Fills buffer with exactly n bytes. Returns n; fewer (possibly 0) when
    // the peer closed part-way; -1 on error or when nothing arrived for the
    // inactivity limit. The buffer's n bytes are zeroed first.
    int ReceiveExact(uint8_t* buffer, size_t n) override;

    bool IsConnected() const override { return connected_.load(); }
    // False for every object constructed while another one was alive.
    bool CanConnect() const { return started_; }
    int LastError() const { return lastError_.load(); }

    void SetInactivityLimit(std::chrono::milliseconds limit) { inactivityLimit_ = limit; }
    void SetConnectLimit(std::chrono::milliseconds limit) { connectLimit_ = limit; }
    // Asked while a read waits: true when the peer has been told to send
    // nothing, so that silence is no failure. Set before the first Open;
    // called on the reading thread.
    void SetSilenceExpected(std::function<bool()> expected) { silenceExpected_ = std::move(expected); }

    // Keep-alive of an open connection: probes after this long without
    // traffic, then every interval; the connection fails after `probes`
    // unanswered ones (about 25 s for a peer that is gone).
    static constexpr int kKeepAliveIdleSeconds = 10;
    static constexpr int kKeepAliveIntervalSeconds = 5;
    static constexpr int kKeepAliveProbes = 3;

private:
    bool ConnectOne(const void* address, unsigned addressLength, int family);

    bool started_ = false;
    std::atomic<bool> connected_{false};
    std::atomic<int> fd_{-1};
    std::atomic<int> lastError_{0};
    std::atomic<bool> cancelOpen_{false};
    std::chrono::milliseconds inactivityLimit_;
    std::chrono::milliseconds connectLimit_ = kDefaultConnectLimit;
    std::function<bool()> silenceExpected_;
    std::mutex stateLock_; // guards Open and Close against each other
};

} // namespace tarnvik
