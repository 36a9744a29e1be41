// The debug trace: one line per message sent or received and per error code.
// Written to standard error only when the environment has TARNVIK_TRACE=1.
#pragma once

#include <string_view>

namespace tarnvik {

bool TraceEnabled();
void Trace(std::string_view line);

} // namespace tarnvik
