#pragma once

#include <string>
#include <vector>

#include "Berthkeep/Actions/RemountTarget.hpp"

namespace berthkeep {

// Targets mounted together by mounting their whole disk.
struct RemountGroup {
    std::string id;
    // What `mountDisk` is given.
    std::string bsdName;
    // In the order the group was built.
    std::vector<RemountTarget> targets;

    bool operator==(const RemountGroup&) const = default;
};

} // namespace berthkeep
