// A loopback address that never answers a connect: a listener whose one
// queue place is taken and that never accepts, so the kernel drops every
// further connection request unanswered (the client keeps retrying).
#pragma once

#include <cstdint>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnvik::test {

class SilentAddress {
public:
    SilentAddress()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 0) != 0)
            return;
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // This connection fills the queue.
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (filler_ < 0 || ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            port_ = 0;
    }
    ~SilentAddress()
    {
        if (filler_ >= 0)
            ::close(filler_);
        if (listener_ >= 0)
            ::close(listener_);
    }
    SilentAddress(const SilentAddress&) = delete;
    SilentAddress& operator=(const SilentAddress&) = delete;

    // 0 when the address could not be set up.
    uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    uint16_t port_ = 0;
};

} // namespace tarnvik::test
