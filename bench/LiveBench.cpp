// The headless viewer against a DVR for a while: pictures decoded per
// second, pictures dropped, CPU time and peak memory of this process.
//   tarnvik-livebench PORT SECONDS [PASSWORD]
#include "BenchSupport.h"
#include "net/DvrSession.h"
#include "video/ChannelModel.h"
#include "video/ChannelRenderer.h"
#include "video/PaneStore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::bench;

namespace {

// Counts the video frames the receive path hands over.
class CountingSink : public ForwardingSink {
public:
    using ForwardingSink::ForwardingSink;
    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) override
    {
        const bool ok = inner_.ParseFrameHeader(block, available, frameKind, skipGapCheck);
        if (ok && frameKind == 1)
            ++videoFrames;
        return ok;
    }
    std::atomic<long> videoFrames{0};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarnvik-livebench PORT SECONDS [PASSWORD]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);
    QuietUi ui;
    PrintingNotifier notifier;
    ViewerState state;
    PaneStore panes;
    ChannelModel model(notifier);
    model.InitDecoders();
    CChannelRenderer renderer(state, model, panes, ui);
    CountingSink sink(renderer);
    DvrSession session(state, sink, model.DecodeLock(), ui, notifier);
    state.division = 16;
    ConnectSettings settings;
    settings.host = "127.0.0.1";
    settings.port = uint16_t(port);
    settings.password = argc > 3 ? argv[3] : "";
    settings.channelCount = 16;
    if (!session.Connect(settings))
        return 1;
    for (int i = 0; i < 100 && !ui.loggedIn; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The sixteen-pane division the window shows for a 16-channel DVR.
    session.DivisionChanged(16);
    // Channels that were not shown before have to wait for their next key
    // picture; measure the steady state after that.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuStart = CpuSeconds();
    const int shownStart = state.framesShown.load();
    const long receivedStart = sink.videoFrames.load();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int shown = state.framesShown.load() - shownStart;
    const long received = sink.videoFrames.load() - receivedStart;
    const double cpu = CpuSeconds() - cpuStart;
    session.Disconnect();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const int overflowed = session.Reception().Counters().overflowed.load();
    // Pictures still waiting for a worker at either end of the window make
    // the two counts differ by a few either way.
    const long dropped = std::max(0L, received - long(shown));
    std::printf("seconds=%d pictures_received=%ld pictures_decoded=%d decoded_per_second=%.1f dropped=%ld "
                "dropped_per_second=%.1f queue_overflows=%d cpu_seconds=%.2f cpu_seconds_per_second=%.2f "
                "peak_memory_mb=%.1f\n",
                seconds, received, shown, double(shown) / seconds, dropped, double(dropped) / seconds, overflowed,
                cpu, cpu / seconds,
                double(usage.ru_maxrss) / 1024.0);
    return 0;
}
