#include "platform/Updater/SoftwareUpdater.hpp"

namespace berthkeep {

SoftwareUpdaterFactory AbsentSoftwareUpdater::factory() {
    return [](std::weak_ptr<SoftwareUpdaterDelegate>) {
        return std::make_shared<AbsentSoftwareUpdater>();
    };
}

} // namespace berthkeep
