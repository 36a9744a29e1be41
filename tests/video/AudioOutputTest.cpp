// The sample ring and the output logic with a recording device: exact
// counts, silence instead of stale bytes, no overwriting of unplayed sound,
// priming, re-queue sizes, when the refill runs, and the sound reaching the
// device intact and in order.
#include "video/AudioOutput.h"
#include "video/AudioRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace tarnvik {
namespace {

// Bytes 1..251 repeating: never zero, so silence shows, and a period prime
// to the ring size shows any misplaced copy.
std::vector<uint8_t> Pattern(size_t n, size_t start = 0)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t((start + i) % 251 + 1);
    return v;
}

std::vector<uint8_t> TakeAll(AudioRing& ring, size_t n, size_t expectReal)
{
    std::vector<uint8_t> out(n, 0xEE);
    EXPECT_EQ(ring.Take(out.data(), n), expectReal);
    return out;
}

TEST(AudioRing, CountsExactlyAndHandsOutSilenceBeyondWhatItHolds)
{
    AudioRing ring;
    const auto in = Pattern(10);
    EXPECT_EQ(ring.Append(in.data(), 10), 10u);
    EXPECT_EQ(TakeAll(ring, 4, 4), Pattern(4));
    EXPECT_EQ(ring.Count(), 6u);
    // More than held: the rest is silence; reading stops at the writing
    // point, so the ring is empty, and an empty ring gives only silence.
    auto expected = Pattern(6, 4);
    expected.resize(16, 0);
    EXPECT_EQ(TakeAll(ring, 16, 6), expected);
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_EQ(TakeAll(ring, 16, 0), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(ring.Append(in.data(), 3), 3u);
    EXPECT_EQ(ring.Count(), 3u);
    ring.Clear();
    EXPECT_EQ(TakeAll(ring, 3, 0), std::vector<uint8_t>(3, 0));
    EXPECT_EQ(ring.Append(nullptr, 5), 0u);
}

TEST(AudioRing, WrapsInOrderAndNeverOverwritesUnplayedSound)
{
    AudioRing ring;
    const size_t cap = AudioRing::kCapacity;
    const auto in = Pattern(cap + 1000);
    EXPECT_EQ(ring.Append(in.data(), cap + 5), cap); // full: takes only what fits
    EXPECT_EQ(ring.Append(in.data() + cap, 1), 0u);
    TakeAll(ring, cap - 50, cap - 50);
    // The caller offers the rest again; it wraps past the end of the storage.
    EXPECT_EQ(ring.Append(in.data() + cap, 1000), 1000u);
    EXPECT_EQ(ring.Count(), 1050u);
    EXPECT_EQ(TakeAll(ring, 1050, 1050), std::vector<uint8_t>(in.end() - 1050, in.end()));
}

TEST(AudioRing, WriterAndReaderThreadsKeepTheStreamIntact)
{
    AudioRing ring;
    const auto in = Pattern(3 * AudioRing::kCapacity); // wraps several times
    std::thread writer([&] {
        for (size_t done = 0; done < in.size(); std::this_thread::yield())
            done += ring.Append(in.data() + done, std::min<size_t>(70001, in.size() - done));
    });
    std::vector<uint8_t> out, chunk(88200);
    while (out.size() < in.size()) {
        const size_t n = ring.Take(chunk.data(), chunk.size());
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        if (n == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(out == in);
}

// Records each call (copying what a buffer carries) and feeds the queued
// buffers to a QueuedPcm as the real device does.
class RecordingDevice : public AudioDevice {
public:
    void Queue(int buffer, const uint8_t* pcm, size_t bytes) override
    {
        calls.push_back("queue " + std::to_string(buffer) + " " + std::to_string(bytes));
        queued.emplace_back(pcm, pcm + bytes);
        stream.Queue(buffer, pcm, bytes);
    }
    void Pause() override { calls.push_back("pause"); }
    void Resume() override { calls.push_back("resume"); }
    void Reset() override { stream.Drop(); }

    std::vector<std::string> calls;
    std::vector<std::vector<uint8_t>> queued;
    QueuedPcm stream;
};

struct OutputRig {
    AudioRing ring;
    RecordingDevice device;
    AudioOutput output{ring, device};
    int refills = 0;
    void Fill(size_t n, size_t start = 0) { ASSERT_EQ(ring.Append(Pattern(n, start).data(), n), n); }
};

TEST(AudioOutput, PrimeQueuesTwoShortBuffersWhateverTheRingHoldsAndPauses)
{
    for (size_t held : {0, 3000, 100000}) {
        SCOPED_TRACE(held);
        OutputRig rig;
        rig.Fill(held);
        rig.output.Prime();
        EXPECT_EQ(rig.device.calls, (std::vector<std::string>{"queue 0 8000", "queue 1 8000", "pause"}));
        EXPECT_EQ(rig.ring.Count(), held - std::min<size_t>(held, 16000));
        auto expected = Pattern(std::min<size_t>(held, 8000));
        expected.resize(8000, 0);
        EXPECT_EQ(rig.device.queued[0], expected);
    }
}

TEST(AudioOutput, CompletionRequeuesUpToTwoSecondsAndAsksTheRefillOnlyWhenDry)
{
    OutputRig rig;
    size_t give = 0;
    rig.output.SetRefill([&] {
        EXPECT_EQ(rig.ring.Count(), 0u);
        ++rig.refills;
        rig.Fill(give, 7);
    });
    rig.output.Prime();
    rig.Fill(100000);
    rig.output.Completed(0);
    rig.output.Completed(1);
    EXPECT_EQ(rig.refills, 0);
    ASSERT_EQ(rig.device.queued.size(), 4u);
    EXPECT_EQ(rig.device.queued[2], Pattern(88200));
    EXPECT_EQ(rig.device.queued[3], Pattern(11800, 88200));

    // Dry: the refill's 5000 bytes go out as a short buffer; a refill with
    // nothing leaves the buffer idle, and an idle buffer cannot complete.
    give = 5000;
    rig.output.Completed(0);
    auto expected = Pattern(5000, 7);
    expected.resize(8000, 0);
    EXPECT_EQ(rig.device.queued.back(), expected);
    give = 0;
    rig.output.Completed(1);
    rig.output.Completed(1);
    rig.output.Completed(-1);
    EXPECT_EQ(rig.refills, 2);
    EXPECT_FALSE(rig.output.Queued(1));

    // Resume primes only the idle buffer; Reset forgets both.
    rig.device.calls.clear();
    rig.output.Resume();
    EXPECT_EQ(rig.device.calls, (std::vector<std::string>{"queue 1 8000", "pause", "resume"}));
    rig.output.Reset();
    EXPECT_TRUE(rig.device.stream.Empty());
    rig.output.Completed(0);
    EXPECT_EQ(rig.refills, 2);
}

TEST(AudioOutput, SoundReachesTheDeviceIntactInOrderAcrossRefills)
{
    // A player feeding two blocks of uneven length per refill, clearing the
    // ring first, until its source runs out.
    OutputRig rig;
    const auto source = Pattern(1000000);
    size_t fed = 0;
    size_t blocks = 0;
    rig.output.SetRefill([&] {
        EXPECT_EQ(rig.ring.Count(), 0u);
        rig.ring.Clear();
        for (int i = 0; i < 2 && fed < source.size(); ++i, ++blocks) {
            const size_t n = std::min(source.size() - fed, 4000 + (blocks * 7919) % 62000);
            fed += rig.ring.Append(source.data() + fed, n);
        }
    });
    rig.output.Resume();

    // The device pulls in uneven chunks until both buffers have gone idle.
    std::vector<uint8_t> heard, chunk;
    const auto completed = [&](int b) { rig.output.Completed(b); };
    for (size_t i = 0; i < 2000 && (rig.output.Queued(0) || rig.output.Queued(1)); ++i) {
        chunk.resize(1 + (i * 4099) % 20000);
        rig.device.stream.Read(chunk.data(), chunk.size(), completed);
        heard.insert(heard.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(fed, source.size());
    // Silence fills the gaps; the sound is all there, in order, once.
    heard.erase(std::remove(heard.begin(), heard.end(), uint8_t(0)), heard.end());
    EXPECT_TRUE(heard == source);
    chunk.assign(300, 0xEE);
    rig.device.stream.Read(chunk.data(), chunk.size(), completed);
    EXPECT_EQ(chunk, std::vector<uint8_t>(300, 0));
}

} // namespace
} // namespace tarnvik
