#pragma once

#include <map>
#include <string>

namespace berthkeep {

// What the program reads of its own process: the environment. A value, so tests
// hand in the environment they want.
struct BerthkeepProcessInfo {
    using Environment = std::map<std::string, std::string>;

    Environment environment;

    // The running process's environment, read at the call.
    static BerthkeepProcessInfo current();
};

} // namespace berthkeep
