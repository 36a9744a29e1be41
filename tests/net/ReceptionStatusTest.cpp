// The plain computations of the session and reception: the CodecKind
// decision, display pacing, the rate tick, the frame list and its lines,
// and the repeating pan/tilt/zoom buttons.
#include "SessionTestSupport.h"

#include "net/DvrSession.h"
#include "net/PtzRepeater.h"
#include "net/ReceptionStatus.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace tarnvik;
using namespace tarnvik::test;
using std::chrono::milliseconds;

TEST(CodecKind, DecisionTableAndChannelCount)
{
    EXPECT_EQ(DecideCodecKind(0x2200, 0x0101), 0);
    EXPECT_EQ(DecideCodecKind(0x2200, 0x0302), 0);
    EXPECT_EQ(DecideCodecKind(0x2200, 0x0303), 3);
    EXPECT_EQ(DecideCodecKind(0x2200, 0x0400), 3);
    EXPECT_EQ(DecideCodecKind(0x22F0, 0x0101), 1);
    EXPECT_EQ(DecideCodecKind(0x22F0, 0x0202), 2);
    EXPECT_EQ(DecideCodecKind(0x22F0, 0x0300), 3);
    EXPECT_EQ(DecideCodecKind(0x22F0, 0x0303), 3);
    EXPECT_EQ(DecideCodecKind(0x1234, 0x0303), -1);
    EXPECT_EQ(DecideCodecKind(0x22F1, 0x0202), -1);
    for (int n : {1, 4, 8, 16})
        EXPECT_EQ(NormalChannelCount(n), n);
    for (int n : {0, 2, 5, 9, 17, -1})
        EXPECT_EQ(NormalChannelCount(n), 16) << n;
}

TEST(Pacing, SleepRules)
{
    struct Row {
        int64_t wait, perChannel, shared;
    };
    const Row rows[] = {{-50, 0, 0}, {0, 0, 0},   {1, 0, 1},     {2, 0, 2},     {3, 1, 3},
                        {19, 6, 19}, {20, 0, 20}, {199, 0, 199}, {200, 0, 0},   {5000, 0, 0}};
    for (const Row& r : rows) {
        EXPECT_EQ(PerChannelPacingSleep(r.wait), r.perChannel) << "wait " << r.wait;
        EXPECT_EQ(SharedPacingSleep(r.wait), r.shared) << "wait " << r.wait;
    }
    // |stream step| less the wall-clock time that passed, in either direction.
    EXPECT_EQ(PacingWait(10040, 10000, 510, 500), 30);
    EXPECT_EQ(PacingWait(10000, 10040, 510, 500), 30);
    EXPECT_EQ(PacingWait(10040, 10000, 600, 500), -60);
    EXPECT_EQ(StreamTimeMs(1000, 250), 1000250);
}

TEST(Pacing, StatePerChannelAndShared)
{
    int64_t now = 100000;
    std::vector<int64_t> slept;
    DisplayPacing pacing({[&] { return now; }, [&](int64_t ms) { slept.push_back(ms); }});

    // Shared: the first frame is measured against nothing and waits not.
    EXPECT_EQ(pacing.PaceShared(StreamTimeMs(50, 0), true), 0);
    now += 10;
    EXPECT_EQ(pacing.PaceShared(StreamTimeMs(50, 40), true), 30); // 40 ms of stream in 10 ms
    now += 10;
    EXPECT_EQ(pacing.PaceShared(StreamTimeMs(50, 80), false), 0); // not live: measured, no wait
    EXPECT_EQ(slept, std::vector<int64_t>({30}));

    // Per channel: each channel against its own last frame.
    EXPECT_EQ(pacing.PacePerChannel(0, StreamTimeMs(50, 0), true), 0);
    EXPECT_EQ(pacing.PacePerChannel(1, StreamTimeMs(90, 0), true), 0);
    now += 5;
    EXPECT_EQ(pacing.PacePerChannel(0, StreamTimeMs(50, 20), true), 5); // wait 15 -> 15 / 3
    now += 5;
    EXPECT_EQ(pacing.PacePerChannel(1, StreamTimeMs(90, 40), true), 0); // wait 30: not below 20
    EXPECT_EQ(slept, std::vector<int64_t>({30, 5}));

    pacing.Reset();
    EXPECT_EQ(pacing.PacePerChannel(0, StreamTimeMs(50, 30), true), 0);
}

// A grid of frames 2.5 ms apart in stream time, each arriving at its
// stream time, read by a reader whose every sleep overruns by 3 ms (a busy
// processor). Held up, the reader reads what waited without sleeping until
// it is back at the stream's pace instead of keeping the delay for good.
TEST(Pacing, TheGridReaderCatchesUpWithTheStream)
{
    int64_t now = 100000;
    DisplayPacing pacing({[&] { return now; }, [&](int64_t ms) { now += ms + 3; }});
    const int64_t start = now;
    int sleeps = 0;
    auto read = [&](int from, int to, bool live = true) {
        sleeps = 0;
        for (int n = from; n < to; ++n) {
            now = std::max(now, start + n * 5 / 2); // a reader that is ahead waits for the frame
            sleeps += pacing.PaceShared(StreamTimeMs(1000, 0) + n * 5 / 2, live) > 0;
        }
    };
    read(0, 400);
    now += 300; // held up: 120 frames wait in the connection
    read(400, 520);
    EXPECT_EQ(sleeps, 0);
    read(520, 920);
    EXPECT_LE(now - start - 919 * 5 / 2, 3);

    // At most a second of lateness is paid off; then the pace is kept again.
    now += 5000;
    read(920, 1310);
    EXPECT_EQ(sleeps, 0);
    read(1310, 1330);
    EXPECT_GT(sleeps, 0);

    // Outside live mode nothing waits and nothing is owed.
    now += 300;
    read(1330, 1331, false);
    read(1331, 1332);
    EXPECT_EQ(sleeps, 1);
}

TEST(RateTick, TextsAndCounterReset)
{
    ViewerState state;
    for (int i = 0; i < 25; ++i) {
        ++state.framesShown;
        state.bytesShown += 4000;
    }
    const RateTexts texts = RateTick(state);
    EXPECT_EQ(texts.fps, "25 fps");
    EXPECT_EQ(texts.bps, "781K bps");
    EXPECT_EQ(state.framesShown.load(), 0);
    EXPECT_EQ(state.bytesShown.load(), 0);
    EXPECT_EQ(RateTick(state).bps, "0K bps");

    EXPECT_EQ(FormatRate(400, 2000000000).bps, "15,625,000K bps"); // beyond 32-bit products
    EXPECT_EQ(FormatRate(1, 128000).bps, "1,000K bps");
    EXPECT_EQ(FormatRate(1, 127999).bps, "999K bps");
    EXPECT_EQ(WithThousands(0), "0");
    EXPECT_EQ(WithThousands(999), "999");
    EXPECT_EQ(WithThousands(1000), "1,000");
    EXPECT_EQ(WithThousands(1234567), "1,234,567");
}

TEST(FrameList, NewestFirstAndCapped)
{
    FrameList list;
    for (int i = 0; i < 250; ++i) {
        list.Add("line " + std::to_string(i));
        ASSERT_LE(list.Size(), FrameList::kTrimAbove + 1);
    }
    const auto lines = list.Lines();
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_EQ(lines.front(), "line 249");
    EXPECT_EQ(lines[1], "line 248");
    EXPECT_EQ(lines.back(), "line 49");
    list.Clear();
    EXPECT_EQ(list.Size(), 0u);
}

TEST(FrameList, LineFormat)
{
    FrameInfo f;
    f.channel = 5;
    f.pictureType = 1;
    f.evenField = true;
    f.videoLength = 4096;
    const std::pair<int, char> classes[] = {{0, 'f'}, {1, 'C'}, {2, 'F'}, {3, '*'}, {-1, '*'}};
    for (const auto& [sizeClass, letter] : classes) {
        f.sizeClass = sizeClass;
        EXPECT_EQ(FormatFrameLine(f), std::string("ID:05 [I/E/") + letter + "] Size:4096");
    }
    f.channel = 12;
    f.pictureType = 0;
    f.evenField = false;
    f.sizeClass = 2;
    f.videoLength = 7;
    EXPECT_EQ(FormatFrameLine(f), "ID:12 [P/O/F] Size:7");
}

TEST(PtzRepeater, RepeatsWhileHeldAndStopsWithoutAStop)
{
    std::mutex lock;
    std::vector<uint8_t> sent;
    auto count = [&] {
        std::lock_guard<std::mutex> guard(lock);
        return sent.size();
    };
    PtzRepeater repeater(
        [&](uint8_t o) {
            std::lock_guard<std::mutex> guard(lock);
            sent.push_back(o);
        },
        milliseconds(10));
    repeater.Press('3');
    EXPECT_GE(count(), 1u); // sent at once on press
    EXPECT_TRUE(repeater.Held());
    ASSERT_TRUE(WaitUntil([&] { return count() >= 4; }));
    repeater.Release();
    // The ticks end one period after the release, on their own.
    ASSERT_TRUE(WaitUntil([&] { return !repeater.Held(); }));
    const size_t afterRelease = count();
    std::this_thread::sleep_for(milliseconds(40));
    EXPECT_EQ(count(), afterRelease);
    {
        std::lock_guard<std::mutex> guard(lock);
        for (uint8_t o : sent)
            EXPECT_EQ(o, '3');
    }
    // A new press while held and destruction while held end the ticks too.
    repeater.Press('5');
    repeater.Press('6');
    EXPECT_TRUE(repeater.Held());
}
