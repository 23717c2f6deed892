#include "BerthkeepShared/BerthkeepFatalError.hpp"

#include <cstdio>
#include <cstdlib>

namespace berthkeep {

void berthkeepFatalError(const std::string& message) {
    // Plain stdio: nothing here may depend on the logging machinery still working.
    std::fputs(("Fatal error: " + message + "\n").c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

} // namespace berthkeep
