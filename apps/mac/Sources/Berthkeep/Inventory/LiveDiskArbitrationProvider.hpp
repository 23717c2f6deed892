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

    // The process-wide instance, made on first use over the service given to
    // configureShared(), or over the simulated machine's disk service (state file
    // from the environment) when none was given.
    static std::shared_ptr<LiveDiskArbitrationProvider> shared();
    // For the composition root, before the first shared(); false when the shared
    // instance already exists (it is then left as it is).
    static bool configureShared(std::shared_ptr<DiskArbitrationService> service);

    std::optional<DiskArbitrationDiskDescription> description(const std::string& bsdName) override;
    void cacheDescription(const DiskArbitrationDisk& disk,
                          DiskArbitrationSession& session) override;

    // The disk went away: drop its entry. A lookup of the same name that is in
    // flight will not put its (stale) answer back.
    void removeDescription(const std::string& bsdName);

    // A copy of the whole cache, taken under the lock.
    std::map<std::string, DiskArbitrationDiskDescription> cachedDescriptionsByBSDName() const;

    const std::shared_ptr<DiskArbitrationService>& service() const { return m_service; }

private:
    std::shared_ptr<DiskArbitrationService> m_service;
    mutable std::mutex m_lock;
    std::map<std::string, DiskArbitrationDiskDescription> m_cachedDescriptionsByBSDName;
    // How many disappearances each name has seen; an on-demand lookup compares it
    // before and after its fetch.
    std::map<std::string, std::uint64_t> m_disappearanceCounts;
};

} // namespace berthkeep
