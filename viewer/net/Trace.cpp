#include "Trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tarnvik {

bool TraceEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("TARNVIK_TRACE");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void Trace(std::string_view line)
{
    if (!TraceEnabled())
        return;
    // One fwrite per line so lines from two threads do not interleave.
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

} // namespace tarnvik
