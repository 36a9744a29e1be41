#include "DvrSocket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnvik {

namespace {

std::atomic<int> g_liveSockets{0};

using Clock = std::chrono::steady_clock;

// How often a waiting read asks whether silence is still expected.
constexpr int kSilenceCheckMs = 250;

int MillisecondsLeft(Clock::time_point since, std::chrono::milliseconds limit)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(since + limit - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

} // namespace

DvrSocket::DvrSocket(std::chrono::milliseconds inactivityLimit)
    : inactivityLimit_(inactivityLimit)
{
    // Only the first object alive may connect: the viewer owns exactly one.
    started_ = g_liveSockets.fetch_add(1) == 0;
}

DvrSocket::~DvrSocket()
{
    Close();
    const int fd = fd_.exchange(-1);
    if (fd >= 0)
        ::close(fd);
    g_liveSockets.fetch_sub(1);
}

bool DvrSocket::ConnectOne(const void* address, unsigned addressLength, int family)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // Connect is blocking for the caller, but bounded: an address that never
    // answers must not hold the caller for the system's minutes-long limit.
    int rc = ::connect(fd, static_cast<const sockaddr*>(address), addressLength);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        const auto start = Clock::now();
        // Waited in short slices so that CancelOpen is seen soon.
        constexpr int kSliceMs = 50;
        int left;
        do {
            left = MillisecondsLeft(start, connectLimit_);
            rc = ::poll(&p, 1, left < kSliceMs ? left : kSliceMs);
        } while ((rc == 0 && left > kSliceMs && !cancelOpen_.load()) || (rc < 0 && errno == EINTR));
        int error = cancelOpen_.load() && rc == 0 ? ECANCELED : ETIMEDOUT;
        if (rc > 0) {
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0)
                error = errno;
        }
        rc = error == 0 ? 0 : -1;
        errno = error;
    }
    if (rc < 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    // Requests are small and should leave at once (a held pan/tilt button).
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A paused stream leaves the connection silent for as long as the user
    // likes; the kernel's probes then tell a live DVR from one that is gone.
    int idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds, probes = kKeepAliveProbes;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    fd_ = fd;
    return true;
}

bool DvrSocket::Open(const std::string& host, uint16_t port)
{
    std::lock_guard<std::mutex> guard(stateLock_);
    if (!started_)
        return false;
    if (connected_) {
        ::shutdown(fd_, SHUT_RDWR);
        connected_ = false;
    }
    const int old = fd_.exchange(-1);
    if (old >= 0)
        ::close(old);

    // A cancel that came before this Open started counts too; the request
    // is used up either way.
    struct CancelReset {
        std::atomic<bool>& flag;
        ~CancelReset() { flag = false; }
    } cancelReset{cancelOpen_};
    if (cancelOpen_.load()) {
        lastError_ = ECANCELED;
        return false;
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        lastError_ = EHOSTUNREACH;
        return false;
    }
    bool ok = false;
    for (addrinfo* a = found; a && !ok && !cancelOpen_.load(); a = a->ai_next)
        ok = ConnectOne(a->ai_addr, a->ai_addrlen, a->ai_family);
    ::freeaddrinfo(found);
    connected_ = ok;
    return ok;
}

int DvrSocket::Read(uint8_t* buffer, size_t n)
{
    const int fd = fd_.load();
    if (fd < 0) {
        lastError_ = ENOTCONN;
        return -1;
    }
    ssize_t got;
    do {
        got = ::recv(fd, buffer, n, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        lastError_ = errno;
        return -1;
    }
    return int(got);
}

int DvrSocket::Write(const uint8_t* buffer, size_t n)
{
    const int fd = fd_.load();
    if (fd < 0) {
        lastError_ = ENOTCONN;
        return -1;
    }
    size_t sent = 0;
    auto lastProgress = Clock::now();
    while (sent < n) {
        const ssize_t rc = ::send(fd, buffer + sent, n - sent, MSG_NOSIGNAL);
        if (rc > 0) {
            sent += size_t(rc);
            lastProgress = Clock::now();
            continue;
        }
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int left = MillisecondsLeft(lastProgress, inactivityLimit_);
            if (left > 0 && ::poll(&p, 1, left) >= 0)
                continue;
            lastError_ = ETIMEDOUT;
            return -1;
        }
        lastError_ = rc < 0 ? errno : EPIPE;
        return -1;
    }
    return int(n);
}

void DvrSocket::Close()
{
    std::lock_guard<std::mutex> guard(stateLock_);
    if (!connected_)
        return;
    connected_ = false;
    // Shut down rather than close: a reader blocked in poll() wakes and sees
    // the end of the stream, and the descriptor number stays ours.
    ::shutdown(fd_, SHUT_RDWR);
}

int DvrSocket::ReceiveExact(uint8_t* buffer, size_t n)
{
    std::memset(buffer, 0, n);
    size_t received = 0;
    auto lastProgress = Clock::now();
    while (received < n) {
        const int got = Read(buffer + received, n - received);
        if (got == 0)
            break;
        if (got > 0) {
            received += size_t(got);
            lastProgress = Clock::now();
            continue;
        }
        const int error = lastError_.load();
        if (error != EAGAIN && error != EWOULDBLOCK && error != ENOBUFS)
            return -1;
        // Silence the peer was asked for does not count towards the limit;
        // the limit starts over once data is expected again.
        if (silenceExpected_ && silenceExpected_())
            lastProgress = Clock::now();
        const int left = MillisecondsLeft(lastProgress, inactivityLimit_);
        if (left == 0)
            return -1;
        const int wait = silenceExpected_ && left > kSilenceCheckMs ? kSilenceCheckMs : left;
        pollfd p{fd_.load(), POLLIN, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR) {
            lastError_ = errno;
            return -1;
        }
    }
    return int(received);
}

} // namespace tarnvik
