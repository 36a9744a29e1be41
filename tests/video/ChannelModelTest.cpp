// The sixteen decoders: start-up, a failing channel, re-creation and teardown.
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

namespace tarnvik::test {
namespace {

// The real library, except that Init of one handle fails; every Init and
// Uninit is logged with the handle's channel number.
struct FailingInit {
    explicit FailingInit(int failing) : failing(failing) {}
    int failing;
    DecoderHandle* base = nullptr; // handle 0 of the model, to name channels
    std::vector<std::string> log;

    DecoderApi Api()
    {
        DecoderApi api;
        api.init = [this](DecoderHandle* h) {
            const int channel = int(h - base);
            log.push_back("init " + std::to_string(channel));
            return channel == failing ? -1 : QL_H264dec_Init(h);
        };
        api.uninit = [this](DecoderHandle* h) {
            log.push_back("uninit " + std::to_string(int(h - base)));
            QL_H264dec_Uninit(h);
        };
        return api;
    }
};

TEST(ChannelModel, FailedInitIsReportedOnceAndOtherChannelsWork)
{
    FailingInit fake(3);
    std::vector<std::string> teardown;
    {
        RendererRig rig(fake.Api());
        fake.base = &rig.model.Handle(0);
        EXPECT_EQ(rig.model.InitDecoders(), 1);
        EXPECT_EQ(rig.notifier.Texts(), std::vector<std::string>{"H.264 Decoder Init Error !"});
        for (int c = 0; c < kDecoderCount; ++c) {
            SCOPED_TRACE(c);
            EXPECT_EQ(rig.model.Handle(c).threads, 1);
            EXPECT_EQ(rig.model.Handle(c).outputFormat, 3);
            EXPECT_EQ(rig.model.Handle(c).context != nullptr, c != 3);
        }
        ASSERT_EQ(fake.log.size(), 16u);
        EXPECT_EQ(fake.log.back(), "init 15") << "start-up goes on after the failure";

        // A neighbour of the failed channel decodes a real picture.
        const auto units = SplitAccessUnits(ReadFileBytes(std::string(TARNVIK_MEDIA_DIR) + "/clip0_cif.264"));
        ASSERT_FALSE(units.empty());
        rig.state.division = 16;
        rig.state.channelCount = 16;
        dvrformat::FrameHeader h = VideoHeader(4, 6, uint32_t(units[0].size()));
        const auto block = FrameBlock(h, 40, units[0]);
        int kind = 0;
        ASSERT_TRUE(rig.renderer.ParseFrameHeader(block.data(), block.size(), kind, false));
        EXPECT_TRUE(rig.renderer.DecodeAndShow(block.data() + 40, units[0].size(), 0));
        EXPECT_EQ(rig.panes.Snapshot(4).image.width(), 352);

        // The failed channel itself drops its frames without harm.
        h.channel = 3;
        const auto block3 = FrameBlock(h, 40, units[0]);
        ASSERT_TRUE(rig.renderer.ParseFrameHeader(block3.data(), block3.size(), kind, false));
        EXPECT_FALSE(rig.renderer.DecodeAndShow(block3.data() + 40, units[0].size(), 0));
        fake.log.clear();
    }
    // Teardown frees every handle with a context, in channel order.
    std::vector<std::string> expected;
    for (int c = 0; c < kDecoderCount; ++c)
        if (c != 3)
            expected.push_back("uninit " + std::to_string(c));
    EXPECT_EQ(fake.log, expected);
}

TEST(ChannelModel, RecreateUninitsAndInitsEachHandleInTurn)
{
    FailingInit fake(7);
    RecordingNotifier notifier;
    ChannelModel model(notifier, fake.Api());
    fake.base = &model.Handle(0);
    EXPECT_EQ(model.InitDecoders(), 1);
    fake.log.clear();
    EXPECT_EQ(model.RecreateDecoders(), 1);
    ASSERT_EQ(fake.log.size(), 32u);
    for (int c = 0; c < kDecoderCount; ++c) {
        EXPECT_EQ(fake.log[size_t(2 * c)], "uninit " + std::to_string(c));
        EXPECT_EQ(fake.log[size_t(2 * c + 1)], "init " + std::to_string(c));
    }
    EXPECT_EQ(notifier.Texts(),
              (std::vector<std::string>{"H.264 Decoder Init Error !", "H.264 Decoder Init Error !"}));
}

TEST(ChannelModel, RealLibraryInitialisesAllSixteen)
{
    RecordingNotifier notifier;
    ChannelModel model(notifier);
    EXPECT_EQ(model.InitDecoders(), 0);
    EXPECT_TRUE(notifier.Texts().empty());
    for (int c = 0; c < kDecoderCount; ++c)
        EXPECT_NE(model.Handle(c).context, nullptr) << "channel " << c;
}

} // namespace
} // namespace tarnvik::test
