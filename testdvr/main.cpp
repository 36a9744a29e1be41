// tarnvik-testdvr: a DVR on loopback for trying the viewer and for tests.
// Control commands are read line by line from standard input (see --help);
// everything it does is logged to standard output.
#include "DvrServer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

#ifndef TARNVIK_TESTDVR_MEDIA
#define TARNVIK_TESTDVR_MEDIA "testdvr/media"
#endif

namespace {

const char* kUsage =
    "usage: tarnvik-testdvr [--port N] [--upgrade-port N] [--channels 1..16] [--password P]\n"
    "                       [--type 0x2200|0x22F0] [--version 0xNNNN] [--model N] [--codec-kind 0..3]\n"
    "                       [--audio] [--jpeg-channel N] [--no-prefix] [--fault NAME]... [--fault-after N]\n"
    "                       [--media DIR] [--clip NAME.264] [--copy-sent FILE]\n"
    "                       [--playback FILE.DVR] [--playback-start DVRTIME] [--playback-seconds N]\n"
    "                       [--upgrade-result 0x91|0xNN] [--upgrade-reply MODE] [--upgrade-save FILE]\n"
    "                       [--chaos SEED]\n"
    "--copy-sent FILE: append every frame block sent (frame header, picture, audio; no message\n"
    "                  header or data prefix) to FILE in send order; fault messages are not copied\n"
    "--playback FILE.DVR: remote playback plays this backup; without it, the clips play back as if\n"
    "                  recorded for --playback-seconds (3600) from --playback-start (1235908800,\n"
    "                  2009-03-01 12:00:00)\n"
    "--upgrade-port N: the firmware upgrade receiver's port (4700; 0: one the system chooses)\n"
    "--upgrade-result: the result its reply gives (0x91 complete, anything else a failure code)\n"
    "--upgrade-reply: ok | short (1 byte, then close) | garbage (64 bytes, then close) |\n"
    "                 wrong-code-first (a message the viewer ignores, then the reply) | none (close) |\n"
    "                 silent (no reply, the connection held open)\n"
    "--upgrade-save FILE: the file bytes of each upgrade received, in order\n"
    "faults: garbage bad-magic bad-code short slow drop stall oversize\n"
    "--chaos SEED: healthy stretches of live video (2.5-5 s) alternate with faults drawn from SEED:\n"
    "                  those of --fault (all when none is given) and huge-length zero-length black-hole\n"
    "                  trickle reset garbage-burst; each is logged with the time in ms since 1970\n"
    "commands on standard input: finish | error 0xNNNN | status | drop | fault NAME | stall | resume | quit\n";

std::mutex g_logLock;

void LogLine(const std::string& line)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool ParseNumber(const char* text, unsigned long low, unsigned long high, unsigned long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && end && *end == '\0' && end != text && value >= low && value <= high;
}

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "tarnvik-testdvr: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    testdvr::Options options;
    options.mediaDir = TARNVIK_TESTDVR_MEDIA;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Fail(arg + " needs a value");
            return argv[++i];
        };
        auto number = [&](unsigned long low, unsigned long high) {
            const char* text = value();
            unsigned long v;
            if (!ParseNumber(text, low, high, v))
                Fail("bad value for " + arg + ": " + text);
            return v;
        };
        if (arg == "--port") options.port = uint16_t(number(0, 65535));
        else if (arg == "--upgrade-port") options.upgradePort = uint16_t(number(0, 65535));
        else if (arg == "--channels") options.channels = int(number(1, 16));
        else if (arg == "--password") options.password = value();
        else if (arg == "--type") options.type = uint32_t(number(0, 0xFFFFFFFF));
        else if (arg == "--version") options.version = uint32_t(number(0, 0xFFFFFFFF));
        else if (arg == "--model") options.model = uint32_t(number(0, 0xFFFFFFFF));
        else if (arg == "--codec-kind") options.codecKind = int(number(0, 3));
        else if (arg == "--audio") options.audio = true;
        else if (arg == "--jpeg-channel") options.jpegChannel = int(number(0, 15));
        else if (arg == "--no-prefix") options.noPrefix = true;
        else if (arg == "--fault-after") options.faultAfter = int(number(1, 1000000));
        else if (arg == "--media") options.mediaDir = value();
        else if (arg == "--clip") options.clip = value();
        else if (arg == "--copy-sent") options.copySent = value();
        else if (arg == "--playback") options.playbackFile = value();
        else if (arg == "--chaos") options.chaosSeed = int64_t(number(0, 0xFFFFFFFF));
        else if (arg == "--playback-start") options.playbackStart = uint32_t(number(0, 0xFFFFFFFF));
        else if (arg == "--playback-seconds") options.playbackSeconds = int(number(1, 86400 * 31));
        else if (arg == "--upgrade-result") options.upgrade.result = uint8_t(number(0, 0xFF));
        else if (arg == "--upgrade-save") options.upgrade.saveFile = value();
        else if (arg == "--upgrade-reply") {
            options.upgrade.reply = value();
            const auto& known = testdvr::UpgradeReplyNames();
            if (std::find(known.begin(), known.end(), options.upgrade.reply) == known.end())
                Fail("unknown upgrade reply: " + options.upgrade.reply);
        } else if (arg == "--fault") {
            const std::string name = value();
            const auto& known = testdvr::FaultNames();
            if (std::find(known.begin(), known.end(), name) == known.end())
                Fail("unknown fault: " + name);
            options.faults.insert(name);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            Fail("unknown option: " + arg);
        }
    }

    testdvr::DvrServer server(options, LogLine);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "tarnvik-testdvr: %s\n", error.c_str());
        return 1;
    }
    LogLine("listening on 127.0.0.1:" + std::to_string(server.Port()));
    if (server.UpgradePort() != 0)
        LogLine("upgrade listening on 127.0.0.1:" + std::to_string(server.UpgradePort()));
    else
        LogLine("upgrade receiver off: " + server.UpgradeError());

    // Standard input may be closed (as under CI): then the DVR simply runs
    // until it is terminated.
    std::thread control([&server] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line == "quit") {
                server.Stop();
                return;
            }
            if (!line.empty() && !server.Control(line))
                LogLine("unknown command: " + line);
        }
    });
    control.detach();
    server.Run();
    return 0;
}
