#include "CommandLine.h"

#include <charconv>
#include <cmath>

namespace tarnvik {

namespace {

std::optional<uint16_t> ParsePort(const std::string& text)
{
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value == 0 || value > 65535)
        return std::nullopt;
    return uint16_t(value);
}

} // namespace

std::optional<HostPort> ParseHostPort(const std::string& text)
{
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = rest.substr(1);
            if (port.empty())
                return std::nullopt;
        }
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        // More than one colon without brackets: a bare IPv6 address.
        if (text.find(':') == colon) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty())
                return std::nullopt;
        }
    }
    if (host.empty())
        return std::nullopt;
    HostPort out;
    out.host = host;
    if (!port.empty()) {
        out.port = ParsePort(port);
        if (!out.port)
            return std::nullopt;
    }
    return out;
}

std::string FormatHostPort(const std::string& host, uint16_t port, uint16_t defaultPort)
{
    if (port == defaultPort)
        return host;
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            out.help = true;
            continue;
        }
        const bool takesValue = option == "--connect" || option == "--password" || option == "--channels" || option == "--play" ||
                                option == "--screenshot" || option == "--quit-after";
        if (!takesValue) {
            out.error = "unknown option: " + option;
            return out;
        }
        if (i + 1 >= args.size()) {
            out.error = option + " needs a value";
            return out;
        }
        const std::string& value = args[++i];
        if (option == "--connect") {
            const std::optional<HostPort> address = ParseHostPort(value);
            if (!address) {
                out.error = "--connect: not HOST or HOST:PORT (port 1-65535): " + value;
                return out;
            }
            out.connectHost = address->host;
            out.connectPort = address->port;
        } else if (option == "--password") {
            out.password = value;
        } else if (option == "--channels") {
            if (value != "4" && value != "8" && value != "16") {
                out.error = "--channels: not 4, 8 or 16: " + value;
                return out;
            }
            out.channelCount = std::stoi(value);
        } else if (option == "--play") {
            out.playFile = value;
        } else if (option == "--screenshot") {
            if (value.empty()) {
                out.error = "--screenshot needs a file name";
                return out;
            }
            out.screenshot = value;
        } else {
            double seconds = 0;
            auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(seconds) || seconds < 0 ||
                seconds > 86400) {
                out.error = "--quit-after: not a number of seconds (0-86400): " + value;
                return out;
            }
            out.quitAfterSeconds = seconds;
        }
    }
    return out;
}

std::string CommandLineUsage()
{
    return "Usage: TarnvikPlayer [options]\n"
           "  --connect HOST[:PORT]   connect to a DVR at start (port: the profile's)\n"
           "  --password P            password for --connect\n"
           "  --channels 4|8|16       channels of the DVR for --connect (the profile's Max Channel)\n"
           "  --play FILE.DVR         open a recorded stream file\n"
           "  --screenshot FILE.png   save a picture of the window (at --quit-after, else after 5 s)\n"
           "  --quit-after SECONDS    close the program after that time\n"
           "  --help                  this text\n";
}

} // namespace tarnvik
