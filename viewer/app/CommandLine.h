// The program's options, for scripting and tests. Without options the
// viewer starts as the user left it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnvik {

struct CommandLine {
    std::optional<std::string> connectHost; // --connect HOST[:PORT]
    std::optional<uint16_t> connectPort;    // the profile's port when absent
    std::string password;                   // --password P
    std::optional<int> channelCount;        // --channels 4|8|16: the profile's Max Channel when absent
    std::optional<std::string> playFile;    // --play FILE.DVR
    std::optional<std::string> screenshot;  // --screenshot FILE.png
    std::optional<double> quitAfterSeconds; // --quit-after SECONDS
    bool help = false;
    std::string error; // set when the options cannot be used; the text says why
};

// A DVR address as the user writes it: "HOST", "HOST:PORT", an IPv6
// address, or "[IPv6]:PORT". Nothing when the text is not such an address
// (empty host, port not 1-65535, unclosed bracket).
struct HostPort {
    std::string host;
    std::optional<uint16_t> port;
};
std::optional<HostPort> ParseHostPort(const std::string& text);
// The way back: the host alone when the port is `defaultPort`, else
// "HOST:PORT", with brackets around an IPv6 address.
std::string FormatHostPort(const std::string& host, uint16_t port, uint16_t defaultPort = 2200);

// `args` are the options without the program name. "HOST:PORT" takes the
// last colon as the separator unless the host is an IPv6 address, which
// must be written in brackets to carry a port ("[::1]:2200").
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed for --help and after an error.
std::string CommandLineUsage();

} // namespace tarnvik
