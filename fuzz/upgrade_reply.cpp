// Untrusted input: what a DVR answers on the firmware upgrade connection,
// arriving in pieces of any size as the socket delivers them. The first
// byte chooses the piece size; the rest is the answer, read by a transfer
// as the upgrade page reads it until a result comes, then by a fresh one
// for whatever follows.
#include "net/UpgradeTransfer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = size_t(data[0] % 80) + 1;
    auto transfer = std::make_unique<tarnvik::UpgradeTransfer>();
    for (size_t at = 1; at < size;) {
        const size_t take = std::min(piece, size - at);
        if (transfer->Received(data + at, take))
            transfer = std::make_unique<tarnvik::UpgradeTransfer>();
        at += take;
    }
    return 0;
}
