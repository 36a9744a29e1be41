// The local player through the real renderer, pacing off, from the first
// block to the end of a stored stream: pictures shown per second, CPU time
// and peak memory of this process. With DUMP_DIR it also writes the picture
// data handed to the decoder as one Annex B file per channel (chN.264), so
// the same pictures can be decoded alone (bench/playback.sh). With --avi DIR
// every channel is exported to AVI files in DIR meanwhile, as the window
// does (the text line drawn, the player unpaced).
//   tarnvik-playbackbench FILE [DUMP_DIR] [--avi DIR]
#include "BenchSupport.h"
#include "storage/LocalPlayer.h"
#include "net/Notifier.h"
#include "net/UiBridge.h"
#include "storage/PlaybackSources.h"
#include "video/AviExport.h"
#include "video/ChannelModel.h"
#include "video/ChannelRenderer.h"
#include "video/PaneStore.h"

#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace tarnvik;
using namespace tarnvik::bench;

namespace {

// Counts the pictures shown and keeps each channel's picture data when asked.
class TeeSink : public ForwardingSink {
public:
    TeeSink(FrameSink& inner, bool keep) : ForwardingSink(inner), keep_(keep) {}
    bool DecodeAndShow(const uint8_t* data, size_t length, int slot) override
    {
        if (keep_) {
            const int channel = slot == 0 ? inner_.Frame().channel : inner_.Frame().secondChannel;
            streams[channel].insert(streams[channel].end(), data, data + length);
        }
        const bool shown = inner_.DecodeAndShow(data, length, slot);
        shown ? ++pictures : ++refused;
        return shown;
    }

    std::atomic<long> pictures{0};
    std::atomic<long> refused{0};
    std::map<int, std::vector<uint8_t>> streams;

private:
    bool keep_;
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string aviDir;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--avi") {
            aviDir = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: tarnvik-playbackbench FILE [DUMP_DIR] [--avi DIR]\n");
        return 2;
    }
    const std::string dumpDir = args.size() > 1 ? args[1] : "";
    // The export draws its text line with Qt's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QuietUi ui;
    PrintingNotifier notifier;
    ViewerState state;
    PaneStore panes;
    ChannelModel model(notifier);
    if (model.InitDecoders() != 0) {
        std::fprintf(stderr, "the decoders did not start\n");
        return 1;
    }
    CChannelRenderer renderer(state, model, panes, ui);
    AviExport avi(state, notifier);
    renderer.SetAviExport(&avi);
    TeeSink sink(renderer, !dumpDir.empty());
    state.division = 4;

    PlayerSource source;
    std::string message;
    if (OpenFileSource(args[0], source, message) != OpenResult::Ok) {
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), message.c_str());
        return 1;
    }
    if (!aviDir.empty()) {
        AviExportSettings settings;
        settings.folder = aviDir;
        if (!avi.Start(0xFFFF, settings, std::time(nullptr)))
            return 1;
    }
    LocalPlayer player(state, sink, &model.DecodeLock(), nullptr, nullptr, PlayerOptions{false});
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    player.Start(std::move(source));
    player.PlayPause();
    while (!player.AtEnd())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    player.WaitIdle(std::chrono::seconds(60));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    player.Stop();
    if (!aviDir.empty() && !avi.Stop())
        return 1;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long pictures = sink.pictures.load();
    std::printf("pictures=%ld refused=%ld seconds=%.3f pps=%.1f cpu_seconds=%.2f peak_memory_mb=%.1f\n", pictures,
                sink.refused.load(), seconds, seconds > 0 ? double(pictures) / seconds : 0.0, cpu,
                double(usage.ru_maxrss) / 1024.0);
    for (const auto& [channel, bytes] : sink.streams) {
        std::ofstream out(dumpDir + "/ch" + std::to_string(channel) + ".264", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "writing %s failed\n", dumpDir.c_str());
            return 1;
        }
    }
    return 0;
}
