// The test DVR's firmware upgrade receiver, on a port of its own: it takes
// one upgrade at a time (the size message, then the pieces), keeps the file
// bytes it received in a file a test can compare, logs the messages'
// framing, and answers with the configured result, or with one of the
// faulty replies a viewer must survive.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testdvr {

struct UpgradeOptions {
    uint8_t result = 0x91; // the reply's result: 0x91 complete, anything else a failure code
    // How the receiver answers once the whole file is in (UpgradeReplyNames):
    //   ok                the reply message 54 71 51 <result>
    //   short             one byte of it, then the connection closes
    //   garbage           64 bytes whose byte 2 is not the upgrade code, then it closes
    //   wrong-code-first  a message whose byte 2 is not the upgrade code, a pause, the reply
    //   none              the connection closes without a reply
    //   silent            no reply, and the connection held until the viewer closes it
    std::string reply = "ok";
    // When set, the file bytes received, in order (rewritten per upgrade).
    std::string saveFile;
};

const std::vector<std::string>& UpgradeReplyNames();

// A listening socket on 127.0.0.1:`port` (0: one the system chooses, set in
// `chosen`), for both of the DVR's listeners; -1 with a reason.
int ListenOnLoopback(uint16_t port, int backlog, uint16_t& chosen, std::string& error);

class UpgradeReceiver {
public:
    using LogFn = std::function<void(const std::string&)>;

    // Port 0 lets the system choose one.
    UpgradeReceiver(uint16_t port, UpgradeOptions options, LogFn log);
    ~UpgradeReceiver();
    UpgradeReceiver(const UpgradeReceiver&) = delete;
    UpgradeReceiver& operator=(const UpgradeReceiver&) = delete;

    // Listens on 127.0.0.1 and serves on a thread of its own until Stop().
    // False with a reason when the port cannot be had.
    bool Start(std::string& error);
    uint16_t Port() const { return port_; }
    // Ends the upgrade in progress and the thread. Any thread may call it.
    void Stop();

private:
    void Run();
    void Serve(int fd, const std::string& peer);
    // Reads what the viewer sent into `buffer`, waiting at most `limitMs`.
    // False once the viewer closed, the wait passed or Stop() was called.
    bool ReadMore(int fd, std::vector<uint8_t>& buffer, int limitMs);
    bool SendAll(int fd, const uint8_t* data, size_t size);
    void Reply(int fd);

    uint16_t requestedPort_;
    UpgradeOptions options_;
    LogFn log_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex stopLock_; // one Stop() at a time joins the thread
    std::thread runner_;
};

} // namespace testdvr
