#include "ApiTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qlapi {

bool TraceEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("QL_H264DEC_TRACE");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void TraceLine(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0)
        return;
    size_t length = std::strlen(line);
    // One fwrite per line keeps lines of different handles from interleaving.
    if (length == 0 || line[length - 1] != '\n') {
        if (length + 1 >= sizeof line)
            length = sizeof line - 2;
        line[length++] = '\n';
        line[length] = '\0';
    }
    std::fwrite(line, 1, length, stderr);
}

} // namespace qlapi
