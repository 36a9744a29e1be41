// The library's debug trace. The lines are the system's own texts; they go to
// standard error, and only when the environment has QL_H264DEC_TRACE=1, so a
// normal run pays one predictable branch per line.
#pragma once

namespace qlapi {

bool TraceEnabled();

// printf-style; a line that does not end in a newline gets one, so that each
// call stays one line as it was one debugger message.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace qlapi

#define QL_TRACE(...)                                                                              \
    do {                                                                                           \
        if (::qlapi::TraceEnabled())                                                               \
            ::qlapi::TraceLine(__VA_ARGS__);                                                       \
    } while (0)
