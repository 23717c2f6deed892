#pragma once

#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Store/InventoryRefreshRequestContext.hpp"
#include "BerthkeepShared/SharedTask.hpp"

namespace berthkeep {

// The one asynchronous inventory refresh in flight. Joiners and waiters hold a
// copy of the task, so the store may clear the slot while they still wait.
struct ActiveInventoryRefresh {
    std::string id; // a fresh UUID per refresh
    InventoryRefreshRequestContext context;
    SharedTask<std::vector<DetectedDrive>> task;
};

} // namespace berthkeep
