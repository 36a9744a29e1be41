#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace tarnvik;

TEST(CommandLine, OptionsOfScriptedRuns)
{
    const CommandLine c = ParseCommandLine(
        {"--connect", "127.0.0.1:2201", "--password", "p w", "--screenshot", "shot.png", "--quit-after", "2.5",
         "--channels", "16"});
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.channelCount, 16);
    EXPECT_EQ(c.connectHost, "127.0.0.1");
    EXPECT_EQ(c.connectPort, 2201);
    EXPECT_EQ(c.password, "p w");
    EXPECT_EQ(c.screenshot, "shot.png");
    EXPECT_EQ(c.quitAfterSeconds, 2.5);
    EXPECT_FALSE(c.help);

    const CommandLine none = ParseCommandLine({});
    EXPECT_EQ(none.error, "");
    EXPECT_FALSE(none.connectHost || none.screenshot || none.quitAfterSeconds || none.playFile);
}

TEST(CommandLine, HostsWithAndWithoutPorts)
{
    struct Row {
        const char* text;
        const char* host;
        int port; // 0: none given
    };
    for (const Row& r : {Row{"dvr.local", "dvr.local", 0}, Row{"10.1.2.3:80", "10.1.2.3", 80},
                         Row{"[::1]:2200", "::1", 2200}, Row{"[fe80::1]", "fe80::1", 0}, Row{"::1", "::1", 0},
                         Row{"h:65535", "h", 65535}}) {
        const CommandLine c = ParseCommandLine({"--connect", r.text});
        ASSERT_EQ(c.error, "") << r.text;
        EXPECT_EQ(c.connectHost, r.host) << r.text;
        EXPECT_EQ(c.connectPort.value_or(0), r.port) << r.text;
    }
}

TEST(CommandLine, RefusesWhatItCannotUse)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--connect"},
             {"--connect", "h:0"},
             {"--connect", "h:65536"},
             {"--connect", "h:"},
             {"--connect", ":2200"},
             {"--connect", "[::1"},
             {"--connect", "[::1]x"},
             {"--quit-after", "-1"},
             {"--quit-after", "soon"},
             {"--quit-after", "nan"},
             {"--screenshot", ""},
             {"--channels", "5"},
             {"--channels", "016"},
             {"--frobnicate"},
         }) {
        const CommandLine c = ParseCommandLine(args);
        EXPECT_NE(c.error, "") << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_NE(CommandLineUsage().find("--connect HOST[:PORT]"), std::string::npos);
}
