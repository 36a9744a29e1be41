// The process-wide stream-dump ring: every call of QL_H264dec_GetOneFrame
// copies its input into the next slot, and a caught fault writes the ring,
// starting at the most recent IDR access unit, to "stream.264" in the
// current directory so that the failing input can be replayed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qlapi {

constexpr int kDumpSlots = 30;
constexpr size_t kDumpSlotSize = 102400;

// Copies at most kDumpSlotSize bytes of the input into the slot at the write
// index (longer inputs are truncated to the slot); an IDR input also becomes
// the dump start.
void RecordInDumpRing(const uint8_t* data, size_t length, bool idr);

// Writes "stream.264": the 30 slots in order from the dump start, wrapping;
// empty slots add nothing. Never throws; returns false when the file could
// not be written.
bool WriteStreamDump();

} // namespace qlapi
