// Live pictures handed over to the renderer's picture workers: each lands in
// its channel's pane, the reports follow the hand-over order whichever
// worker finishes first, a channel whose queue is full loses the picture
// and waits for a key picture, and dropping what was handed over leaves
// nothing to be shown later. The decoder is scripted so that a test can
// hold one channel's decoding while others go on.
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::test;
using dvrformat::FrameHeader;

namespace {


// A decoder whose pictures carry their handle's number in every byte;
// the handle `heldHandle` waits until released.
class HoldingDecoder {
public:
    DecoderApi Api()
    {
        DecoderApi api;
        api.init = [](DecoderHandle* h) { h->context = h; return 0; };
        api.uninit = [](DecoderHandle* h) { h->context = nullptr; };
        api.getOneFrame = [this](DecoderHandle* h, const uint8_t*, uint32_t, uint8_t* out) {
            const int handle = int(h - base);
            {
                std::unique_lock<std::mutex> lock(lock_);
                ++calls_;
                changed_.notify_all();
                changed_.wait(lock, [&] { return handle != heldHandle_; });
            }
            std::fill(out, out + kPictureBufferBytes, uint8_t(0x10 + handle));
            return 0;
        };
        return api;
    }
    const DecoderHandle* base = nullptr; // handle 0: a handle's number is its distance from it

    void Hold(int handle)
    {
        std::lock_guard<std::mutex> guard(lock_);
        heldHandle_ = handle;
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock_);
        heldHandle_ = -1;
        changed_.notify_all();
    }
    // Waits until the decoder was called `count` times in all.
    bool WaitForCalls(int count)
    {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_ >= count; });
    }
    int Calls()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int heldHandle_ = -1;
    int calls_ = 0;
};

// Reports of handed-over pictures, in the order they arrive.
class Reports {
public:
    std::function<void(bool)> For(int tag)
    {
        return [this, tag](bool shown) {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.emplace_back(tag, shown);
            changed_.notify_all();
        };
    }
    std::vector<std::pair<int, bool>> WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return seen_.size() >= count; });
        return seen_;
    }
    std::vector<std::pair<int, bool>> Now()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return seen_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::pair<int, bool>> seen_;
};

class PictureWorkersTest : public ::testing::Test {
protected:
    PictureWorkersTest() : rig(decoder.Api(), 2)
    {
        rig.model.InitDecoders();
        decoder.base = &rig.model.Handle(0);
        rig.state.division = 16;
        rig.state.channelCount = 16;
    }
    ~PictureWorkersTest() override { decoder.Release(); }

    // Parses a CIF key picture of `channel` and hands its data over.
    bool HandOver(int channel, int tag)
    {
        FrameHeader h = VideoHeader(channel, 4, uint32_t(payload.size()));
        h.kind = 2;
        h.pal = true;
        const auto block = FrameBlock(h, 32, payload);
        int kind = 0;
        if (!rig.renderer.ParseFrameHeader(block.data(), block.size(), kind, false))
            return false;
        return rig.renderer.HandOverPicture(block.data() + 32, payload.size(), true, reports.For(tag));
    }

    HoldingDecoder decoder;
    RendererRig rig;
    Reports reports;
    std::vector<uint8_t> payload = std::vector<uint8_t>(64, 0x42);
};

} // namespace

TEST_F(PictureWorkersTest, PicturesLandInTheirPanesAndReportInHandOverOrder)
{
    // Channel 0 is held; channels 1..3 (1 and 3 on the other worker) go on.
    decoder.Hold(0);
    for (int channel = 0; channel < 4; ++channel)
        ASSERT_TRUE(HandOver(channel, channel));
    ASSERT_TRUE(decoder.WaitForCalls(3)) << "the other worker decodes while channel 0 is held";
    for (int i = 0; i < 1000 && rig.panes.Snapshot(3).image.isNull(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(rig.panes.Snapshot(3).image.isNull());
    EXPECT_TRUE(reports.Now().empty()) << "channel 1's report waits for channel 0's";

    decoder.Release();
    const auto seen = reports.WaitFor(4);
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{0, true}, {1, true}, {2, true}, {3, true}}));
    for (int pane = 0; pane < 4; ++pane) {
        const PaneSnapshot shot = rig.panes.Snapshot(pane);
        ASSERT_FALSE(shot.image.isNull()) << pane;
        EXPECT_EQ(shot.image.constScanLine(shot.image.height() / 2)[0], 0x10 + pane) << "pane " << pane;
        EXPECT_FALSE(shot.timeText.empty()) << pane;
    }
    EXPECT_EQ(rig.state.framesShown.load(), 4);
}

TEST_F(PictureWorkersTest, AFullChannelLosesThePictureAndWaitsForAKeyPicture)
{
    decoder.Hold(2);
    int taken = 0;
    while (taken < 100 && HandOver(2, taken))
        ++taken;
    EXPECT_EQ(taken, kPicturesWaitingPerChannel);
    EXPECT_FALSE(rig.renderer.IsDecodable(2)) << "predicted pictures of channel 2 are held back";
    // Another channel, even on the same worker, is still taken.
    EXPECT_TRUE(HandOver(4, 100));

    decoder.Release();
    const auto seen = reports.WaitFor(size_t(taken) + 1);
    ASSERT_EQ(seen.size(), size_t(taken) + 1) << "the refused picture is never reported";
    for (const auto& [tag, shown] : seen)
        EXPECT_TRUE(shown) << tag;
    EXPECT_EQ(seen.back().first, 100);
}

TEST_F(PictureWorkersTest, DroppedPicturesAreReportedUnshownAndNeverDecoded)
{
    decoder.Hold(1);
    for (int tag = 0; tag < 5; ++tag)
        ASSERT_TRUE(HandOver(1, tag));
    ASSERT_TRUE(decoder.WaitForCalls(1));
    // Returns only once the picture being decoded is finished.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        decoder.Release();
    });
    rig.renderer.DropHandedOverPictures();
    const auto seen = reports.Now();
    releaser.join();
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{0, true}, {1, false}, {2, false}, {3, false}, {4, false}}));
    EXPECT_EQ(decoder.Calls(), 1);
    EXPECT_EQ(rig.state.framesShown.load(), 1);

    // The channel goes on normally afterwards.
    ASSERT_TRUE(HandOver(1, 5));
    EXPECT_EQ(reports.WaitFor(6).back(), std::make_pair(5, true));
}
