#include "UpgradeReceiver.h"

#include "dvrformat/ByteOrder.h"
#include "dvrformat/Upgrade.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testdvr {

namespace {

// A viewer silent for this long is given up.
constexpr int kIdleLimitMs = 30000;
// How long a reply that is not the last waits before the real one.
constexpr int kWrongCodePauseMs = 300;

std::string Hex(const uint8_t* p, size_t size)
{
    std::string text;
    char byte[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", p[i]);
        text += byte;
    }
    return text;
}

// The pieces' lengths as runs: "40 x 2, 20 x 1".
class PieceRuns {
public:
    void Add(size_t length)
    {
        if (!runs_.empty() && runs_.back().first == length)
            ++runs_.back().second;
        else
            runs_.emplace_back(length, 1);
    }
    std::string Text() const
    {
        std::string text;
        for (const auto& [length, count] : runs_)
            text += (text.empty() ? "" : ", ") + std::to_string(length) + " x " + std::to_string(count);
        return text.empty() ? "none" : text;
    }

private:
    std::vector<std::pair<size_t, uint64_t>> runs_;
};

} // namespace

const std::vector<std::string>& UpgradeReplyNames()
{
    static const std::vector<std::string> names = {"ok", "short", "garbage", "wrong-code-first", "none", "silent"};
    return names;
}

UpgradeReceiver::UpgradeReceiver(uint16_t port, UpgradeOptions options, LogFn log)
    : requestedPort_(port), options_(std::move(options)), log_(std::move(log))
{
}

UpgradeReceiver::~UpgradeReceiver()
{
    Stop();
}

int ListenOnLoopback(uint16_t port, int backlog, uint16_t& chosen, std::string& error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || ::listen(fd, backlog) < 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    chosen = ntohs(address.sin_port);
    return fd;
}

bool UpgradeReceiver::Start(std::string& error)
{
    listenFd_ = ListenOnLoopback(requestedPort_, 4, port_, error);
    if (listenFd_ < 0)
        return false;
    runner_ = std::thread([this] { Run(); });
    return true;
}

void UpgradeReceiver::Stop()
{
    stopping_ = true;
    std::lock_guard<std::mutex> guard(stopLock_);
    if (runner_.joinable())
        runner_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

void UpgradeReceiver::Run()
{
    // One upgrade at a time: a second viewer waits in the listen queue.
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        Serve(fd, std::string(text) + ":" + std::to_string(ntohs(peer.sin_port)));
        ::close(fd);
    }
}

bool UpgradeReceiver::ReadMore(int fd, std::vector<uint8_t>& buffer, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!stopping_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::min<int64_t>(left.count(), 50))) <= 0)
            continue;
        uint8_t chunk[65536];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer.insert(buffer.end(), chunk, chunk + got);
        return true;
    }
    return false;
}

bool UpgradeReceiver::SendAll(int fd, const uint8_t* data, size_t size)
{
    size_t sent = 0;
    while (sent < size) {
        const ssize_t rc = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        sent += size_t(rc);
    }
    return true;
}

void UpgradeReceiver::Serve(int fd, const std::string& peer)
{
    using namespace dvrformat;
    log_("upgrade connection from " + peer);
    int saveFd = -1;
    if (!options_.saveFile.empty()) {
        saveFd = ::open(options_.saveFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (saveFd < 0)
            log_("upgrade: cannot write " + options_.saveFile + ": " + std::strerror(errno));
    }
    std::vector<uint8_t> buffer;
    size_t used = 0;
    bool announced = false;
    uint32_t size = 0;
    uint64_t received = 0;
    PieceRuns runs;
    std::string problem;
    // The viewer's messages, as they come, until the whole file is in.
    while (!announced || received < size) {
        if (buffer.size() - used < kMessageHeaderSize) {
            buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(used));
            used = 0;
            if (!ReadMore(fd, buffer, kIdleLimitMs))
                break;
            continue;
        }
        const MessageHeader header = MessageHeader::Read(buffer.data() + used);
        if (!header.HasMagic() || header.code != upgrade::Code ||
            (header.sub != upgrade::SubSize && header.sub != upgrade::SubPiece) || header.length > kUpgradePayloadMax) {
            problem = "bad message " + Hex(buffer.data() + used, kMessageHeaderSize);
            break;
        }
        if (buffer.size() - used < kMessageHeaderSize + header.length) {
            if (!ReadMore(fd, buffer, kIdleLimitMs))
                break;
            continue;
        }
        const uint8_t* payload = buffer.data() + used + kMessageHeaderSize;
        used += kMessageHeaderSize + header.length;
        if (header.sub == upgrade::SubSize) {
            if (announced || header.length != 4) {
                problem = announced ? "a second size message"
                                    : "a size message of " + std::to_string(header.length) + " bytes";
                break;
            }
            announced = true;
            size = LoadLE32(payload);
            log_("upgrade R " + Hex(payload, 4) + " (size " + std::to_string(size) + ")");
            continue;
        }
        if (!announced || header.length == 0 || received + header.length > size) {
            problem = !announced ? "a piece before the size" : "a piece of " + std::to_string(header.length) +
                                                                   " bytes after " + std::to_string(received);
            break;
        }
        runs.Add(header.length);
        received += header.length;
        if (saveFd >= 0 && ::write(saveFd, payload, header.length) != ssize_t(header.length)) {
            log_("upgrade: writing " + options_.saveFile + " failed: " + std::strerror(errno));
            ::close(saveFd);
            saveFd = -1;
        }
    }
    // The file is complete on disk before the viewer hears anything.
    if (saveFd >= 0)
        ::close(saveFd);
    log_("upgrade S " + runs.Text());
    if (!problem.empty() || !announced || received < size) {
        log_("upgrade ended after " + std::to_string(received) + " of " + std::to_string(size) + " bytes" +
             (problem.empty() ? "" : ": " + problem));
        return;
    }
    log_("upgrade received " + std::to_string(received) + " bytes");
    Reply(fd);
}

void UpgradeReceiver::Reply(int fd)
{
    using namespace dvrformat;
    uint8_t reply[kMessageHeaderSize];
    MessageHeader header;
    header.code = upgrade::Code;
    header.sub = options_.result;
    header.Write(reply);
    const std::string& mode = options_.reply;
    if (mode == "none") {
        log_("upgrade closing without a reply");
        return;
    }
    if (mode == "silent") {
        log_("upgrade holding the connection without a reply");
        std::vector<uint8_t> rest;
        while (ReadMore(fd, rest, 600000)) // ends when the viewer closes (or after 10 minutes)
            rest.clear();
        log_("upgrade connection closed");
        return;
    }
    if (mode == "short") {
        SendAll(fd, reply, 1);
        log_("upgrade reply " + Hex(reply, 1) + ", closing");
        return;
    }
    if (mode == "garbage") {
        uint8_t garbage[kUpgradeReplyMax];
        for (size_t i = 0; i < sizeof garbage; ++i)
            garbage[i] = uint8_t(i * 37 + 11);
        garbage[2] = 0xA7; // anything but the upgrade code
        SendAll(fd, garbage, sizeof garbage);
        log_("upgrade reply of " + std::to_string(sizeof garbage) + " garbage bytes, closing");
        return;
    }
    if (mode == "wrong-code-first") {
        uint8_t wrong[kMessageHeaderSize];
        // Its qualifier differs from the result, so taking it for the
        // answer shows.
        MessageHeader other = header;
        other.code = cmd::Error;
        other.sub = uint8_t(~options_.result);
        other.Write(wrong);
        SendAll(fd, wrong, sizeof wrong);
        log_("upgrade reply " + Hex(wrong, sizeof wrong) + " (not the upgrade code)");
        for (int waited = 0; waited < kWrongCodePauseMs && !stopping_; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SendAll(fd, reply, sizeof reply);
    log_("upgrade reply " + Hex(reply, sizeof reply));
    // The viewer closes once it has read the reply.
    std::vector<uint8_t> rest;
    while (ReadMore(fd, rest, kIdleLimitMs))
        rest.clear();
    log_("upgrade connection closed");
}

} // namespace testdvr
