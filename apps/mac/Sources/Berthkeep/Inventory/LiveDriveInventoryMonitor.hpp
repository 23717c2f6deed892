#pragma once

#include <atomic>
#include <memory>

#include "Berthkeep/Inventory/DriveInventoryMonitoring.hpp"
#include "platform/DiskArbitration/DiskArbitrationSession.hpp"

namespace berthkeep {

class InventoryChangeCoalescer;
class LiveDiskArbitrationProvider;

// Watches the disk service for disks appearing, changing and disappearing, keeps
// the provider's cache current and tells the store, through the coalescer, that
// the inventory changed. Main thread only; callbacks arrive on the main loop.
class LiveDriveInventoryMonitor final : public DriveInventoryMonitoring {
public:
    // Sessions come from `service`, by default the provider's own service.
    explicit LiveDriveInventoryMonitor(
        std::shared_ptr<LiveDiskArbitrationProvider> diskArbitrationProvider,
        std::shared_ptr<DiskArbitrationService> service = nullptr);
    ~LiveDriveInventoryMonitor() override;

    LiveDriveInventoryMonitor(const LiveDriveInventoryMonitor&) = delete;
    LiveDriveInventoryMonitor& operator=(const LiveDriveInventoryMonitor&) = delete;

    // When the session cannot be created the monitor stays stopped; a later call
    // tries again.
    void start(ChangeAction onChange) override;
    // Also drops a change notification still on its way: no action runs after this.
    void stop() override;

    bool isStarted() const { return m_isStarted; }

private:
    enum class Event { appeared, descriptionChanged, disappeared };

    void handle(Event event, const DiskArbitrationDisk& disk);

    std::shared_ptr<LiveDiskArbitrationProvider> m_diskArbitrationProvider;
    std::shared_ptr<DiskArbitrationService> m_service;
    std::unique_ptr<DiskArbitrationSession> m_session;
    ChangeAction m_onChange;
    bool m_isStarted = false;
    std::shared_ptr<InventoryChangeCoalescer> m_changeCoalescer;
    // Cleared by stop(); a notification already past the coalescer checks it
    // before it calls the action.
    std::shared_ptr<std::atomic<bool>> m_deliveryOpen;
    DiskArbitrationSession::CallbackRegistration m_appearedRegistration = 0;
    DiskArbitrationSession::CallbackRegistration m_changedRegistration = 0;
    DiskArbitrationSession::CallbackRegistration m_disappearedRegistration = 0;
};

} // namespace berthkeep
