// MD5 (RFC 1321), for the per-picture checksums of qldec --md5.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qldec {

class Md5 {
public:
    Md5();
    void Update(const uint8_t* data, size_t size);
    // The digest as 32 lowercase hexadecimal digits; the object is spent.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_ = 0; // bytes
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

// The digest of one buffer.
std::string Md5Hex(const uint8_t* data, size_t size);

} // namespace qldec
