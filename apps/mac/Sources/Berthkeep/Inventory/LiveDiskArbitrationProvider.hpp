#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Berthkeep/Inventory/DiskArbitrationDescribing.hpp"

namespace berthkeep {

class DiskArbitrationService;

// Keeps the latest disk-service description of every disk heard of, by BSD name,
// and fetches one on demand for a disk not heard of yet. One shared instance
// serves the monitor (which keeps it current) and the inventory (which reads it),
// so both see one cache.
//
// The lock guards only the dictionary: it is never held while the disk service
// is asked or a description is converted.
class LiveDiskArbitrationProvider final : public DiskArbitrationDescribing {
public:
    explicit LiveDiskArbitrationProvider(std::shared_ptr<DiskArbitrationService> service);

    // The process-wide instance, made by configureShared() over the disk service
    // the composition root chose. Throws std::logic_error before that.
    static std::shared_ptr<LiveDiskArbitrationProvider> shared();
    // Makes the shared instance over `service`; false when it already exists
    // (it is then left as it is).
    static bool configureShared(std::shared_ptr<DiskArbitrationService> service);

    // A lookup that races an event for the same name never puts back an answer
    // older than the event's: the newest description stands.
    std::optional<DiskArbitrationDiskDescription> description(const std::string& bsdName) override;
    void cacheDescription(const DiskArbitrationDisk& disk,
                          DiskArbitrationSession& session) override;
    std::uint64_t descriptionGeneration(const std::string& bsdName) const override;

    // The disk went away: drop its entry. A lookup of the same name that is in
    // flight will not put its (stale) answer back.
    void removeDescription(const std::string& bsdName);

    // A copy of the whole cache, taken under the lock.
    std::map<std::string, DiskArbitrationDiskDescription> cachedDescriptionsByBSDName() const;

    const std::shared_ptr<DiskArbitrationService>& service() const { return m_service; }

private:
    std::uint64_t generationLocked(const std::string& bsdName) const;

    std::shared_ptr<DiskArbitrationService> m_service;
    mutable std::mutex m_lock;
    std::map<std::string, DiskArbitrationDiskDescription> m_cachedDescriptionsByBSDName;
    // How many events (appeared, changed, disappeared) each name has seen; an
    // on-demand lookup caches its answer only when the count did not move while
    // it asked the service.
    std::map<std::string, std::uint64_t> m_generations;
};

} // namespace berthkeep
