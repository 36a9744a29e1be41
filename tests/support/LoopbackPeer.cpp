#include "LoopbackPeer.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnvik::test {

LoopbackPeer::LoopbackPeer()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(listenFd_, 4) < 0)
        throw std::runtime_error("loopback peer cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer()
{
    Close();
    ::close(listenFd_);
}

bool LoopbackPeer::Accept()
{
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0)
        return false;
    fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    return fd_ >= 0;
}

bool LoopbackPeer::Send(const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

std::vector<uint8_t> LoopbackPeer::Receive(size_t n)
{
    std::vector<uint8_t> bytes(n);
    size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t r = ::recv(fd_, bytes.data() + got, n - got, 0);
        if (r <= 0)
            break;
        got += size_t(r);
    }
    bytes.resize(got);
    return bytes;
}

void LoopbackPeer::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    std::string pair;
    for (char c : text) {
        if (c == ' ')
            continue;
        pair += c;
        if (pair.size() == 2) {
            bytes.push_back(uint8_t(std::strtoul(pair.c_str(), nullptr, 16)));
            pair.clear();
        }
    }
    return bytes;
}

} // namespace tarnvik::test
