// Activity-monitor entry points: JSON in, JSON out, one monitor per handle.

#include "berthkeep_core.h"

#include "ActivityMonitor.hpp"
#include "ActivityMonitorRequests.hpp"
#include "CoreCall.hpp"

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

using namespace berthkeep::core;

struct berthkeep_core_activity_monitor {
    explicit berthkeep_core_activity_monitor(const ActivityMonitorConfiguration& configuration)
        : monitor(configuration) {}

    // The program sends the whole set at every poll, nearly always the text of the last
    // one: that is parsed once.
    MonitoredVolumeSet parsed(std::string_view text) {
        std::lock_guard lock(lastMutex);
        if (!lastSet || lastText != text) {
            lastSet.reset();
            lastText = std::string(text);
            lastSet = parseMonitoredVolumeSet(lastText);
        }
        return *lastSet;
    }

    ActivityMonitor monitor;
    std::mutex lastMutex;
    std::string lastText;
    std::optional<MonitoredVolumeSet> lastSet;
};

namespace {

ActivityMonitor& requireMonitor(berthkeep_core_activity_monitor* handle) {
    if (!handle) {
        throw std::invalid_argument("monitor is null");
    }
    return handle->monitor;
}

} // namespace

extern "C" {

berthkeep_core_activity_monitor* berthkeep_core_activity_monitor_create(const char* configuration) {
    return guardedCall<berthkeep_core_activity_monitor*>("activity monitor create failed", nullptr, [&] {
        const ActivityMonitorConfiguration parsed =
            parseActivityMonitorConfiguration(requireText(configuration, "configuration"));
        return new berthkeep_core_activity_monitor(parsed);
    });
}

bool berthkeep_core_activity_monitor_update_json(berthkeep_core_activity_monitor* monitor,
                                                 const char* volume_set) {
    return guardedCall<bool>("activity monitor update failed", false, [&] {
        ActivityMonitor& target = requireMonitor(monitor);
        target.update(monitor->parsed(requireText(volume_set, "volume set")));
        return true;
    });
}

char* berthkeep_core_activity_monitor_snapshot_json(berthkeep_core_activity_monitor* monitor) {
    return guardedCall<char*>("activity monitor snapshot failed", nullptr, [&] {
        return heapCopy(requireMonitor(monitor).snapshotJson());
    });
}

// Stops the background thread before the memory goes.
void berthkeep_core_activity_monitor_destroy(berthkeep_core_activity_monitor* monitor) {
    guardedCall<bool>("activity monitor destroy failed", false, [&] {
        delete monitor;
        return true;
    });
}

} // extern "C"
