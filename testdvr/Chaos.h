// The chaos schedule of the test DVR (--chaos SEED): healthy stretches of
// live video alternate with faults drawn from a seeded generator, so that a
// run can be repeated exactly. The generator is shared by every viewer
// session of the DVR: a viewer that reconnects continues the same schedule.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace testdvr {

struct ChaosStep {
    std::string fault;                 // the fault after the healthy stretch
    std::chrono::milliseconds healthy; // the healthy stretch before it
    std::chrono::milliseconds lasting; // how long a black hole or trickle lasts
};

// The faults of the schedule besides those of --fault: a length field of
// 0x7fffffff, a length of zero, a stretch of silence, a stretch of bytes
// trickled a few at a time, a connection reset, and a burst of random bytes.
const std::vector<std::string>& ChaosOnlyFaults();

class ChaosPlan {
public:
    // `faults`: the --fault list; empty means every fault.
    ChaosPlan(uint32_t seed, const std::set<std::string>& faults);
    ChaosStep Next();
    // Random bytes for a garbage burst.
    std::vector<uint8_t> Burst();

private:
    std::mutex lock_; // sessions draw from their own threads
    std::mt19937 random_;
    std::vector<std::string> faults_;
};

// Milliseconds since 1970 (the clock the viewer's trace uses too).
int64_t WallMilliseconds();

} // namespace testdvr
