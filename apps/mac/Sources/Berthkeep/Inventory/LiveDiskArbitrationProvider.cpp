#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"

#include <stdexcept>

#include "platform/DiskArbitration/DiskArbitrationSession.hpp"

namespace berthkeep {

namespace {

std::mutex g_sharedMutex;
std::shared_ptr<LiveDiskArbitrationProvider> g_shared;

} // namespace

LiveDiskArbitrationProvider::LiveDiskArbitrationProvider(
    std::shared_ptr<DiskArbitrationService> service)
    : m_service(std::move(service)) {}

std::shared_ptr<LiveDiskArbitrationProvider> LiveDiskArbitrationProvider::shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared) {
        throw std::logic_error(
            "LiveDiskArbitrationProvider::shared() before configureShared(): no disk service");
    }
    return g_shared;
}

bool LiveDiskArbitrationProvider::configureShared(std::shared_ptr<DiskArbitrationService> service) {
    std::lock_guard lock(g_sharedMutex);
    if (g_shared) {
        return false;
    }
    g_shared = std::make_shared<LiveDiskArbitrationProvider>(std::move(service));
    return true;
}

std::uint64_t LiveDiskArbitrationProvider::generationLocked(const std::string& bsdName) const {
    const auto found = m_generations.find(bsdName);
    return found == m_generations.end() ? 0 : found->second;
}

std::optional<DiskArbitrationDiskDescription>
LiveDiskArbitrationProvider::description(const std::string& bsdName) {
    std::uint64_t generationBefore = 0;
    {
        std::lock_guard lock(m_lock);
        const auto cached = m_cachedDescriptionsByBSDName.find(bsdName);
        if (cached != m_cachedDescriptionsByBSDName.end()) {
            return cached->second;
        }
        generationBefore = generationLocked(bsdName);
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
    std::lock_guard lock(m_lock);
    if (generationLocked(bsdName) == generationBefore) {
        m_cachedDescriptionsByBSDName[bsdName] = description;
        return description;
    }
    // An event arrived while we asked: what it left is newer than our answer. A
    // disappearance left nothing, and caching the answer would bring back a
    // ghost that no later event removes.
    const auto newer = m_cachedDescriptionsByBSDName.find(bsdName);
    return newer != m_cachedDescriptionsByBSDName.end() ? newer->second : description;
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
    ++m_generations[*bsdName];
}

std::uint64_t LiveDiskArbitrationProvider::descriptionGeneration(const std::string& bsdName) const {
    std::lock_guard lock(m_lock);
    return generationLocked(bsdName);
}

void LiveDiskArbitrationProvider::removeDescription(const std::string& bsdName) {
    std::lock_guard lock(m_lock);
    m_cachedDescriptionsByBSDName.erase(bsdName);
    ++m_generations[bsdName];
}

std::map<std::string, DiskArbitrationDiskDescription>
LiveDiskArbitrationProvider::cachedDescriptionsByBSDName() const {
    std::lock_guard lock(m_lock);
    return m_cachedDescriptionsByBSDName;
}

} // namespace berthkeep
