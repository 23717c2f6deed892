#include "Berthkeep/Inventory/LiveDriveInventoryMonitor.hpp"

#include "Berthkeep/Inventory/InventoryChangeCoalescer.hpp"
#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

const char* const auditComponent = "LiveDriveInventoryMonitor";

} // namespace

LiveDriveInventoryMonitor::LiveDriveInventoryMonitor(
    std::shared_ptr<LiveDiskArbitrationProvider> diskArbitrationProvider,
    std::shared_ptr<DiskArbitrationService> service)
    : m_diskArbitrationProvider(std::move(diskArbitrationProvider))
    , m_service(std::move(service))
    , m_changeCoalescer(InventoryChangeCoalescer::make()) {
    if (!m_service && m_diskArbitrationProvider) {
        m_service = m_diskArbitrationProvider->service();
    }
}

LiveDriveInventoryMonitor::~LiveDriveInventoryMonitor() {
    stop();
}

void LiveDriveInventoryMonitor::start(ChangeAction onChange) {
    if (m_isStarted || !m_service) {
        return;
    }
    auto session = m_service->createSession();
    if (!session) {
        return;
    }
    BerthkeepStartupAudit::debug(auditComponent, "start", std::nullopt,
                                 BerthkeepAuditWorkPhase::appLaunch,
                                 "Starting Disk Arbitration inventory monitor", std::nullopt);
    m_session = std::move(session);
    m_onChange = std::move(onChange);
    m_deliveryOpen = std::make_shared<std::atomic<bool>>(true);
    m_isStarted = true;
    // The session is owned here and unregistered in stop(), so `this` outlives
    // every callback.
    m_appearedRegistration = m_session->registerDiskAppearedCallback(
        [this](const DiskArbitrationDisk& disk) { handle(Event::appeared, disk); });
    m_changedRegistration = m_session->registerDiskDescriptionChangedCallback(
        [this](const DiskArbitrationDisk& disk) { handle(Event::descriptionChanged, disk); });
    m_disappearedRegistration = m_session->registerDiskDisappearedCallback(
        [this](const DiskArbitrationDisk& disk) { handle(Event::disappeared, disk); });
    m_session->scheduleWithMainLoop();
}

void LiveDriveInventoryMonitor::stop() {
    if (!m_isStarted || !m_session) {
        return;
    }
    m_session->unregisterCallback(m_appearedRegistration);
    m_session->unregisterCallback(m_changedRegistration);
    m_session->unregisterCallback(m_disappearedRegistration);
    m_session->unscheduleFromMainLoop();
    m_changeCoalescer->cancelPending();
    if (m_deliveryOpen) {
        m_deliveryOpen->store(false);
        m_deliveryOpen.reset();
    }
    m_session.reset();
    m_onChange = nullptr;
    m_isStarted = false;
}

void LiveDriveInventoryMonitor::handle(Event event, const DiskArbitrationDisk& disk) {
    if (!m_session) {
        return;
    }
    const char* method = "handleDiskAppearedEvent";
    const char* message = "Received Disk Arbitration callback";
    switch (event) {
    case Event::appeared:
        m_diskArbitrationProvider->cacheDescription(disk, *m_session);
        break;
    case Event::descriptionChanged:
        m_diskArbitrationProvider->cacheDescription(disk, *m_session);
        method = "handleDiskDescriptionChangedEvent";
        message = "Received Disk Arbitration description change callback";
        break;
    case Event::disappeared:
        if (const auto bsdName = DiskArbitrationSession::bsdNameOfDisk(disk)) {
            m_diskArbitrationProvider->removeDescription(*bsdName);
        }
        method = "handleDiskDisappearedEvent";
        message = "Received Disk Arbitration disappearance callback";
        break;
    }
    BerthkeepStartupAudit::debug(auditComponent, method, std::nullopt,
                                 BerthkeepAuditWorkPhase::backgroundWork, message, std::nullopt);
    if (!m_onChange) {
        return;
    }
    m_changeCoalescer->schedule([action = m_onChange, open = m_deliveryOpen] {
        if (open && open->load()) {
            action();
        }
    });
}

} // namespace berthkeep
