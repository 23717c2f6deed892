#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"

#include "platform/DiskArbitration/DiskArbitrationSession.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

namespace {

std::mutex g_sharedMutex;
std::shared_ptr<DiskArbitrationService> g_sharedService;
std::shared_ptr<LiveDiskArbitrationProvider> g_shared;

} // namespace

LiveDiskArbitrationProvider::LiveDiskArbitrationProvider(
    std::shared_ptr<DiskArbitrationService> service)
    : m_service(std::move(service)) {}

std::shared_ptr<LiveDiskArbitrationProvider> LiveDiskArbitrationProvider::shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared) {
        auto service = g_sharedService;
        if (!service) {
            service =
                std::make_shared<SimulatedDiskArbitration>(SimulatedStateFile::fromEnvironment());
        }
        g_shared = std::make_shared<LiveDiskArbitrationProvider>(std::move(service));
    }
    return g_shared;
}

bool LiveDiskArbitrationProvider::configureShared(std::shared_ptr<DiskArbitrationService> service) {
    std::lock_guard lock(g_sharedMutex);
    if (g_shared) {
        return false;
    }
    g_sharedService = std::move(service);
    return true;
}

std::optional<DiskArbitrationDiskDescription>
LiveDiskArbitrationProvider::description(const std::string& bsdName) {
    std::uint64_t disappearancesBefore = 0;
    {
        std::lock_guard lock(m_lock);
        const auto cached = m_cachedDescriptionsByBSDName.find(bsdName);
        if (cached != m_cachedDescriptionsByBSDName.end()) {
            return cached->second;
        }
        const auto count = m_disappearanceCounts.find(bsdName);
        disappearancesBefore = count == m_disappearanceCounts.end() ? 0 : count->second;
    }
    if (!m_service) {
        return std::nullopt;
    }
    // A temporary session, never scheduled; gone when this returns.
    const std::unique_ptr<DiskArbitrationSession> session = m_service->createSession();
    if (!session) {
        return std::nullopt;
    }
    const auto disk = session->createDiskFromBSDName(bsdName);
    if (!disk) {
        return std::nullopt;
    }
    const auto values = session->copyDescription(*disk);
    if (!values) {
        return std::nullopt;
    }
    const auto description = DiskArbitrationDiskDescription::make(*values);
    {
        std::lock_guard lock(m_lock);
        const auto count = m_disappearanceCounts.find(bsdName);
        const std::uint64_t disappearancesAfter =
            count == m_disappearanceCounts.end() ? 0 : count->second;
        // When the disk went away while we asked, caching the answer would bring a
        // ghost back that no later event removes.
        if (disappearancesAfter == disappearancesBefore) {
            m_cachedDescriptionsByBSDName[bsdName] = description;
        }
    }
    return description;
}

void LiveDiskArbitrationProvider::cacheDescription(const DiskArbitrationDisk& disk,
                                                   DiskArbitrationSession& session) {
    const auto bsdName = DiskArbitrationSession::bsdNameOfDisk(disk);
    if (!bsdName) {
        return;
    }
    const auto values = session.copyDescription(disk);
    if (!values) {
        return;
    }
    auto description = DiskArbitrationDiskDescription::make(*values);
    std::lock_guard lock(m_lock);
    m_cachedDescriptionsByBSDName[*bsdName] = std::move(description);
}

void LiveDiskArbitrationProvider::removeDescription(const std::string& bsdName) {
    std::lock_guard lock(m_lock);
    m_cachedDescriptionsByBSDName.erase(bsdName);
    ++m_disappearanceCounts[bsdName];
}

std::map<std::string, DiskArbitrationDiskDescription>
LiveDiskArbitrationProvider::cachedDescriptionsByBSDName() const {
    std::lock_guard lock(m_lock);
    return m_cachedDescriptionsByBSDName;
}

} // namespace berthkeep
