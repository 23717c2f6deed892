#include "Berthkeep/Inventory/DiskUtilityDriveFactsHydrator.hpp"

#include <QString>
#include <QThreadPool>

#include <mutex>

#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"
#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

const char* const auditComponent = "MountedVolumeInventoryService";

// The results of one hydration call, filled from the worker threads.
struct ParallelDecodeState {
    std::mutex lock;
    std::map<std::string, DiskUtilityVolumeFacts> resultsByIdentifier;
};

std::optional<DiskImageAttachment>
attachmentFor(const std::map<std::string, DiskImageAttachment>& images,
              const std::string& identifier) {
    const auto found = images.find(identifier);
    if (found == images.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool isVirtualVolume(const std::optional<DiskArbitrationDiskDescription>& description) {
    return description && description->volumePath &&
           DriveInventoryClassifier::hasVirtualPrefix(
               DriveInventoryPaths::filePath(*description->volumePath));
}

} // namespace

DiskUtilityDriveFactsHydrator::DiskUtilityDriveFactsHydrator(
    std::shared_ptr<const DiskUtilityRunning> diskUtilityRunner,
    std::shared_ptr<DiskArbitrationDescribing> diskArbitrationProvider,
    std::shared_ptr<IgnoredDriveCandidateCache> ignoredCandidateCache)
    : m_diskUtilityRunner(std::move(diskUtilityRunner))
    , m_diskArbitrationProvider(std::move(diskArbitrationProvider))
    , m_ignoredCandidateCache(std::move(ignoredCandidateCache)) {}

std::vector<std::string> DiskUtilityDriveFactsHydrator::prefilterHydrationCandidates(
    const std::vector<std::string>& identifiers,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
    const DriveInventoryAuditContext& context) const {
    int cachedIgnoreCount = 0;
    int virtualPrefilterCount = 0;
    std::vector<std::string> kept;
    for (const auto& identifier : identifiers) {
        const std::string groupIdentifier =
            DriveInventoryEjectTargets::wholeDiskIdentifier(identifier);
        if (m_ignoredCandidateCache->contains(identifier, groupIdentifier)) {
            ++cachedIgnoreCount;
            continue;
        }
        const bool hasImage = diskImagesByDeviceIdentifier.count(identifier) > 0;
        const auto description = m_diskArbitrationProvider->description(identifier);
        const bool isImageDevice =
            description && description->deviceProtocol == std::optional<std::string>("Disk Image");
        if (hasImage || isImageDevice || isVirtualVolume(description)) {
            m_ignoredCandidateCache->insert(identifier, groupIdentifier);
            ++virtualPrefilterCount;
            continue;
        }
        kept.push_back(identifier);
    }
    BerthkeepStartupAudit::debug(
        auditComponent, "prefilterHydrationCandidates", context.mode, context.phase,
        "Prefiltered diskutil hydration candidates", std::nullopt,
        {{"stage", toString(context.stage)},
         {"listed_count", std::to_string(identifiers.size())},
         {"kept_count", std::to_string(kept.size())},
         {"cached_ignore_count", std::to_string(cachedIgnoreCount)},
         {"virtual_prefilter_count", std::to_string(virtualPrefilterCount)}});
    return kept;
}

void DiskUtilityDriveFactsHydrator::hydrate(
    const std::string& identifier, const DriveInventoryAuditContext& context,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
    std::optional<DiskUtilityVolumeFacts>& result) const {
    auto facts =
        decodeDiskUtilityOutput<DiskUtilityVolumeFacts>(context, {"info", "-plist", identifier});
    if (!facts) {
        return;
    }
    rememberIfDiskImage(identifier, *facts, diskImagesByDeviceIdentifier);
    result = std::move(facts);
}

void DiskUtilityDriveFactsHydrator::rememberIfDiskImage(
    const std::string& identifier, const DiskUtilityVolumeFacts& facts,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier) const {
    const auto classification = DriveInventoryClassifier::classifyDiskFacts(
        facts, attachmentFor(diskImagesByDeviceIdentifier, identifier),
        m_diskArbitrationProvider->description(identifier));
    if (classification == DriveClassification::ignored(DriveIgnoreReason::diskImage)) {
        m_ignoredCandidateCache->insert(
            identifier, DriveInventoryEjectTargets::wholeDiskIdentifier(identifier));
    }
}

std::optional<std::vector<DiskUtilityVolumeFacts>>
DiskUtilityDriveFactsHydrator::decodeDiskFactsInParallel(
    const std::vector<std::string>& identifiers, const DriveInventoryAuditContext& context,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
    const std::map<std::string, PropertyListValue>& listEntries) const {
    if (identifiers.empty()) {
        std::lock_guard lock(m_knownLock);
        m_known.clear();
        return std::vector<DiskUtilityVolumeFacts>{};
    }
    // Read before any child starts: a report that arrives while one runs makes
    // the next refresh ask again.
    std::map<std::string, std::uint64_t> generations;
    for (const auto& identifier : identifiers) {
        generations[identifier] = m_diskArbitrationProvider->descriptionGeneration(identifier);
    }
    ParallelDecodeState state;
    {
        std::lock_guard lock(m_knownLock);
        for (const auto& identifier : identifiers) {
            const auto known = m_known.find(identifier);
            const auto entry = listEntries.find(identifier);
            if (known != m_known.end() && entry != listEntries.end() &&
                generations[identifier] != 0 &&
                known->second.generation == generations[identifier] &&
                known->second.listEntry == entry->second) {
                state.resultsByIdentifier.insert_or_assign(identifier, known->second.facts);
            }
        }
    }
    const std::map<std::string, DiskUtilityVolumeFacts> kept = state.resultsByIdentifier;
    for (const auto& [identifier, facts] : kept) {
        rememberIfDiskImage(identifier, facts, diskImagesByDeviceIdentifier);
    }
    {
        QThreadPool queue;
        queue.setObjectName(QString::fromLatin1(hydrationQueueName));
        queue.setMaxThreadCount(maximumConcurrentHydrations);
        for (const auto& identifier : identifiers) {
            if (kept.count(identifier)) {
                continue;
            }
            // Everything captured by reference outlives the queue, which waits
            // for its work before it goes away.
            queue.start([this, &identifier, &context, &diskImagesByDeviceIdentifier, &state] {
                std::optional<DiskUtilityVolumeFacts> facts;
                try {
                    hydrate(identifier, context, diskImagesByDeviceIdentifier, facts);
                } catch (...) {
                    // Counts as a failed identifier: the whole hydration falls back.
                    facts.reset();
                }
                if (facts) {
                    std::lock_guard lock(state.lock);
                    state.resultsByIdentifier.insert_or_assign(identifier, std::move(*facts));
                }
            });
        }
        queue.waitForDone();
    }

    std::size_t decodedCount = 0;
    {
        std::lock_guard lock(state.lock);
        decodedCount = state.resultsByIdentifier.size();
    }
    if (decodedCount != identifiers.size()) {
        BerthkeepStartupAudit::debug(
            auditComponent, "decodeDiskFactsInParallel", context.mode, context.phase,
            "Falling back because diskutil info hydration missed listed candidates", std::nullopt,
            {{"listed_count", std::to_string(identifiers.size())},
             {"decoded_count", std::to_string(decodedCount)},
             {"stage", toString(context.stage)}});
        return std::nullopt;
    }
    std::vector<DiskUtilityVolumeFacts> facts;
    facts.reserve(identifiers.size());
    std::map<std::string, KnownFacts> known;
    {
        std::lock_guard lock(state.lock);
        for (const auto& identifier : identifiers) {
            facts.push_back(state.resultsByIdentifier.at(identifier));
            const auto entry = listEntries.find(identifier);
            if (entry != listEntries.end() && generations[identifier] != 0) {
                known.insert_or_assign(
                    identifier, KnownFacts{facts.back(), generations[identifier], entry->second});
            }
        }
    }
    std::lock_guard lock(m_knownLock);
    m_known = std::move(known);
    return facts;
}

} // namespace berthkeep
