#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"

namespace berthkeep {

BerthkeepProcessInfo BerthkeepProcessInfo::current() {
    return BerthkeepProcessInfo{BerthkeepBundleConfiguration::processEnvironment()};
}

} // namespace berthkeep
