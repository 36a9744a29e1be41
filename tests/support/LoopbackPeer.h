// The far end of a loopback TCP connection, for tests that must put exact
// bytes on the wire: it listens on an ephemeral port of 127.0.0.1, accepts
// one connection, and then writes, reads and closes as the test says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvik::test {

class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t Port() const { return port_; }
    // Waits (at most 5 s) for the connection. False when none came.
    bool Accept();
    bool Send(const std::vector<uint8_t>& bytes);
    bool Send(const std::string& bytes) { return Send(std::vector<uint8_t>(bytes.begin(), bytes.end())); }
    // Reads exactly n bytes, waiting at most 5 s; fewer when the peer closed.
    std::vector<uint8_t> Receive(size_t n);
    void Close();

private:
    int listenFd_ = -1;
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Bytes from a string of hex pairs, spaces allowed: "54 71 02 01".
std::vector<uint8_t> Hex(const std::string& text);

} // namespace tarnvik::test
