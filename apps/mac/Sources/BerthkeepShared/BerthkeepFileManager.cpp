#include "BerthkeepShared/BerthkeepFileManager.hpp"

#include "BerthkeepShared/LiveFileManager.hpp"

namespace berthkeep {

const BerthkeepFileManager& BerthkeepFileManager::defaultManager() {
    static const LiveFileManager manager;
    return manager;
}

} // namespace berthkeep
