#include "Chaos.h"

#include "DvrServer.h"

#include <ctime>

namespace testdvr {

const std::vector<std::string>& ChaosOnlyFaults()
{
    static const std::vector<std::string> names = {"huge-length", "zero-length", "black-hole",
                                                   "trickle",     "reset",       "garbage-burst"};
    return names;
}

ChaosPlan::ChaosPlan(uint32_t seed, const std::set<std::string>& faults)
    : random_(seed)
{
    if (faults.empty()) {
        faults_ = FaultNames();
        faults_.insert(faults_.end(), ChaosOnlyFaults().begin(), ChaosOnlyFaults().end());
    } else {
        faults_.assign(faults.begin(), faults.end());
        faults_.insert(faults_.end(), ChaosOnlyFaults().begin(), ChaosOnlyFaults().end());
    }
}

ChaosStep ChaosPlan::Next()
{
    std::lock_guard<std::mutex> guard(lock_);
    ChaosStep step;
    step.fault = faults_[std::uniform_int_distribution<size_t>(0, faults_.size() - 1)(random_)];
    step.healthy = std::chrono::milliseconds(std::uniform_int_distribution<int>(2500, 5000)(random_));
    step.lasting = std::chrono::milliseconds(std::uniform_int_distribution<int>(500, 4000)(random_));
    return step;
}

std::vector<uint8_t> ChaosPlan::Burst()
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<uint8_t> bytes(std::uniform_int_distribution<size_t>(256, 16384)(random_));
    for (auto& b : bytes)
        b = uint8_t(random_());
    // Now and then the start of a header, so the reader's search is misled.
    for (size_t i = 0; i + 1 < bytes.size(); i += 997) {
        bytes[i] = 0x54;
        bytes[i + 1] = 0x71;
    }
    return bytes;
}

int64_t WallMilliseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace testdvr
