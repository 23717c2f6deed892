#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Inventory/DiskArbitrationDescribing.hpp"
#include "Berthkeep/Inventory/DiskImageAttachment.hpp"
#include "Berthkeep/Inventory/DiskUtilityOutputDecoding.hpp"
#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"
#include "Berthkeep/Inventory/IgnoredDriveCandidateCache.hpp"
#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

// Turns the identifiers of `diskutil list -plist external` into `diskutil info`
// facts: first drops what is known or cheaply seen to be a disk image or a
// virtual volume, then describes the rest, a few children at a time, while the
// caller waits. What it learns about disk images goes into the shared
// ignored-candidate cache. Safe to use from several snapshots at once.
//
// The last answer for each device is kept, with the disk service's generation
// of the name and the device's `diskutil list` entry at the time it was asked:
// while both are unchanged the device is not asked again, so a refresh starts
// children for what changed, not for everything attached.
class DiskUtilityDriveFactsHydrator {
public:
    // At most this many `diskutil info` children run at once.
    static constexpr int maximumConcurrentHydrations = 4;
    static constexpr const char* hydrationQueueName = "Berthkeep.DiskInventoryHydration";

    DiskUtilityDriveFactsHydrator(
        std::shared_ptr<const DiskUtilityRunning> diskUtilityRunner,
        std::shared_ptr<DiskArbitrationDescribing> diskArbitrationProvider,
        std::shared_ptr<IgnoredDriveCandidateCache> ignoredCandidateCache);

    // The identifiers worth a `diskutil info`, in their incoming order. Drops
    // cached identifiers (or whole disks), attached images, devices the disk
    // service calls "Disk Image" and volumes under the simulator or system-asset
    // folders; the last three are remembered in the cache.
    std::vector<std::string> prefilterHydrationCandidates(
        const std::vector<std::string>& identifiers,
        const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
        const DriveInventoryAuditContext& context) const;

    // One facts record per identifier, in the same order; nothing when any
    // identifier could not be described (the facts that did decode are dropped).
    // Blocks the calling thread until every child has ended. An identifier is
    // answered from its kept facts when the disk service has reported on it
    // and neither that report nor its entry in `listEntries` moved since;
    // identifiers without an entry are always asked. Facts of identifiers not
    // passed are forgotten.
    std::optional<std::vector<DiskUtilityVolumeFacts>> decodeDiskFactsInParallel(
        const std::vector<std::string>& identifiers, const DriveInventoryAuditContext& context,
        const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
        const std::map<std::string, PropertyListValue>& listEntries = {}) const;

    // Runs one `diskutil` command and decodes its output as `Output`; nothing on
    // any failure, never a child in core-only mode.
    template <typename Output>
    std::optional<Output> decodeDiskUtilityOutput(const DriveInventoryAuditContext& context,
                                                  const std::vector<std::string>& arguments) const {
        return berthkeep::decodeDiskUtilityOutput<Output>(*m_diskUtilityRunner, context, arguments);
    }

    const std::shared_ptr<IgnoredDriveCandidateCache>& ignoredCandidateCache() const {
        return m_ignoredCandidateCache;
    }

private:
    struct KnownFacts {
        DiskUtilityVolumeFacts facts;
        std::uint64_t generation = 0;
        PropertyListValue listEntry;
    };

    void hydrate(const std::string& identifier, const DriveInventoryAuditContext& context,
                 const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
                 std::optional<DiskUtilityVolumeFacts>& result) const;
    void rememberIfDiskImage(
        const std::string& identifier, const DiskUtilityVolumeFacts& facts,
        const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier) const;

    std::shared_ptr<const DiskUtilityRunning> m_diskUtilityRunner;
    std::shared_ptr<DiskArbitrationDescribing> m_diskArbitrationProvider;
    std::shared_ptr<IgnoredDriveCandidateCache> m_ignoredCandidateCache;
    // Held only to look up or replace entries, never across a child.
    mutable std::mutex m_knownLock;
    mutable std::map<std::string, KnownFacts> m_known;
};

} // namespace berthkeep
