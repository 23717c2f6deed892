#include "Berthkeep/Actions/AttachedDriveCheck.hpp"

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Inventory/DiskUtilityError.hpp"
#include "Berthkeep/Inventory/DriveDetectedDriveAssembler.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"

namespace berthkeep {

namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::optional<DiskUtilityVolumeFacts> readFacts(const std::shared_ptr<DiskUtilityRunning>& runner,
                                                const std::string& bsdName) {
    std::string output;
    try {
        output = runner->run({"info", "-plist", bsdName});
    } catch (const DiskUtilityError& error) {
        // A refusal is the tool's "Could not find disk"; a hang or a flood says
        // nothing about the disk.
        if (error.code() == DiskUtilityError::timedOutCode ||
            error.code() == DiskUtilityError::outputTooLargeCode) {
            throw;
        }
        return std::nullopt;
    }
    return DiskUtilityVolumeFacts::decode(output);
}

} // namespace

AttachedDriveCheck::AttachedDriveCheck(std::shared_ptr<DiskUtilityRunning> runner,
                                       std::shared_ptr<Executor> executor)
    : m_runner(std::move(runner))
    , m_executor(std::move(executor)) {}

QCoro::Task<std::optional<DiskUtilityVolumeFacts>>
AttachedDriveCheck::read(std::string bsdName) const {
    auto work = [runner = m_runner, bsdName] {
        return readFacts(runner, bsdName);
    };
    std::optional<DiskUtilityVolumeFacts> facts = co_await runDetached(work, m_executor);
    co_return facts;
}

bool AttachedDriveCheck::isSameDrive(const DiskUtilityVolumeFacts& facts,
                                     const Expected& expected) {
    if (!expected.identity.isEmpty()) {
        if (!expected.identity.matches(DriveDetectedDriveAssembler::identity(facts))) {
            return false;
        }
    } else if (expected.mountPath) {
        const auto now = DriveInventoryText::nonEmpty(facts.mountPoint);
        if (!now || withoutTrailingSlashes(*now) != withoutTrailingSlashes(*expected.mountPath)) {
            return false;
        }
    }
    return !expected.wholeDisk || liesOn(facts, *expected.wholeDisk);
}

QCoro::Task<void> AttachedDriveCheck::confirm(Expected expected, std::string errorDomain) const {
    std::optional<DiskUtilityVolumeFacts> facts = co_await read(expected.bsdName);
    if (!facts) {
        // One refused reading is no proof the drive is gone: ask once more.
        facts = co_await read(expected.bsdName);
    }
    if (!facts || !isSameDrive(*facts, expected)) {
        throw DriveOperationError::noLongerAttached(std::move(errorDomain));
    }
}

QCoro::Task<bool> AttachedDriveCheck::isStillMounted(Expected expected) const {
    const std::optional<DiskUtilityVolumeFacts> facts = co_await read(expected.bsdName);
    // Only the same drive counts: the name may already be the next disk's.
    const bool mounted =
        facts && DriveInventoryText::nonEmpty(facts->mountPoint) && isSameDrive(*facts, expected);
    co_return mounted;
}

bool AttachedDriveCheck::liesOn(const DiskUtilityVolumeFacts& facts, const std::string& wholeDisk) {
    if (facts.deviceIdentifier == wholeDisk ||
        DriveInventoryText::nonEmpty(facts.parentWholeDisk) == wholeDisk) {
        return true;
    }
    if (facts.apfsPhysicalStores) {
        for (const auto& store : *facts.apfsPhysicalStores) {
            if (DriveInventoryEjectTargets::wholeDiskIdentifier(store.apfsPhysicalStore) ==
                wholeDisk) {
                return true;
            }
        }
    }
    return false;
}

} // namespace berthkeep
