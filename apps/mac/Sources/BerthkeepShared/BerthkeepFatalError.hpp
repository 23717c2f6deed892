#pragma once

#include <string>

namespace berthkeep {

// Stops the process for a condition the program must not run past: writes
// "Fatal error: <message>" to standard error, unbuffered, then aborts.
[[noreturn]] void berthkeepFatalError(const std::string& message);

} // namespace berthkeep
