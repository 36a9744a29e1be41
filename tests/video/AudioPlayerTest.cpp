// The player over whatever audio output this machine has (none on CI: the
// silent path): the ring works and every device call is harmless, from the
// player's own thread and from another one.
#include "video/AudioPlayer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace tarnvik {
namespace {

TEST(AudioPlayer, EveryCallIsHarmlessWithOrWithoutADevice)
{
    auto player = std::make_unique<CAudioPlayer>();
    PlayerAudio& audio = *player;
    const std::vector<uint8_t> pcm(44100, 0x11);
    audio.SetRefill([&] { audio.Append(pcm.data(), pcm.size()); });
    player->SetMuted(true);
    audio.Append(pcm.data(), pcm.size());
    audio.Resume();
    audio.Pause();
    std::thread other([&] {
        audio.Resume();
        audio.Reset();
        audio.SetRefill({});
    });
    other.join();
    QCoreApplication::processEvents();

    audio.Clear();
    audio.Append(pcm.data(), 1000);
    EXPECT_EQ(audio.Count(), 1000u);
    if (!player->HasDevice()) {
        audio.Resume(); // silent: nothing takes from the ring
        QCoreApplication::processEvents();
        EXPECT_EQ(audio.Count(), 1000u);
    }
    player->SetMuted(false);
    player.reset();
}

} // namespace
} // namespace tarnvik
