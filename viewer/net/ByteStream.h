// What the protocol reader needs of a connection: exact reads, whole writes
// and whether it is open. DvrSocket is the connection to a DVR; the fuzz
// target reads from memory through the same interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnvik {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Fills buffer with exactly n bytes (zeroed first). Returns n; fewer
    // (possibly 0) when the stream ended part-way; -1 on error.
    virtual int ReceiveExact(uint8_t* buffer, size_t n) = 0;
    // Sends all n bytes. Returns n, or -1 when the send failed.
    virtual int Write(const uint8_t* buffer, size_t n) = 0;
    virtual bool IsConnected() const = 0;
};

} // namespace tarnvik
