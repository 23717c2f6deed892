#pragma once

#include <functional>
#include <memory>

#include "Berthkeep/Drive/DriveUsageCollecting.hpp"
#include "Berthkeep/Drive/DriveUsageProviding.hpp"

namespace berthkeep {

class LazyDriveUsageProviderBox;

// The store's one way to drive usage. Collects only for mounted managed drives,
// refuses in the core-only mode, and reaches the usage source through a factory
// that runs on the first collection only, so the core library stays unloaded
// until usage is needed (and never loads in the core-only mode).
//
// Copies share one usage source. Called off the main thread; may block.
class VolumeUsageCollector final : public DriveUsageCollecting {
public:
    using ProviderFactory = std::function<std::shared_ptr<DriveUsageProviding>()>;

    // The default asks the bridge registry at the moment it runs, so a factory
    // registered after the collector was built is still the one used.
    explicit VolumeUsageCollector(ProviderFactory providerFactory = defaultProviderFactory());

    static ProviderFactory defaultProviderFactory();

    // Core-only: an empty map and a fault audit line; the source is not touched.
    // Otherwise the source's snapshots of the selected drives; its errors pass
    // through unchanged.
    std::map<std::string, DriveUsageSnapshot> snapshot(const std::vector<DetectedDrive>& drives,
                                                       ActivityDetectionMode mode) override;

private:
    std::shared_ptr<LazyDriveUsageProviderBox> m_providerBox;
};

} // namespace berthkeep
