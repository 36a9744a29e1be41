#include "StreamDump.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace qlapi {
namespace {

// The ring is shared by every handle. A lock (uncontended in the viewer,
// which decodes under its own lock) keeps two handles on two threads from
// tearing a slot or racing the indices past the end of the table.
struct DumpRing {
    std::mutex lock;
    uint8_t slots[kDumpSlots][kDumpSlotSize];
    size_t lengths[kDumpSlots] = {};
    int writeIndex = 0;
    int dumpStart = 0;
};

DumpRing& Ring()
{
    static DumpRing ring; // static storage: 3 MB of zero pages until used
    return ring;
}

} // namespace

void RecordInDumpRing(const uint8_t* data, size_t length, bool idr)
{
    DumpRing& ring = Ring();
    std::lock_guard<std::mutex> guard(ring.lock);
    const int slot = ring.writeIndex;
    const size_t n = length < kDumpSlotSize ? length : kDumpSlotSize;
    if (n > 0 && data)
        std::memcpy(ring.slots[slot], data, n);
    ring.lengths[slot] = data ? n : 0;
    if (idr)
        ring.dumpStart = slot;
    ring.writeIndex = slot + 1 == kDumpSlots ? 0 : slot + 1;
}

bool WriteStreamDump()
{
    DumpRing& ring = Ring();
    std::lock_guard<std::mutex> guard(ring.lock);
    std::FILE* file = std::fopen("stream.264", "wb");
    if (!file)
        return false;
    bool ok = true;
    for (int i = 0; i < kDumpSlots; ++i) {
        const int slot = ring.dumpStart % kDumpSlots;
        if (ring.lengths[slot] > 0 &&
            std::fwrite(ring.slots[slot], 1, ring.lengths[slot], file) != ring.lengths[slot])
            ok = false;
        ring.dumpStart = slot + 1;
    }
    ring.dumpStart %= kDumpSlots;
    return std::fclose(file) == 0 && ok;
}

} // namespace qlapi
