#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Domain/DriveCountText.hpp"

namespace berthkeep {

namespace {

constexpr auto reliability = BerthkeepLogCategory::reliability;
constexpr const char* groupedRemountError = "Some grouped drives did not remount";

bool isCancelled(const std::shared_ptr<CancelToken>& cancel) {
    return cancel && cancel->isCancelled();
}

std::string joined(const std::vector<RemountTarget>& targets, std::string RemountTarget::*field) {
    std::string text;
    for (const RemountTarget& target : targets) {
        text += (text.empty() ? "" : ", ") + target.*field;
    }
    return text;
}

const BerthkeepStore::RemountEventNames& manualMountEventNames() {
    static const BerthkeepStore::RemountEventNames names{
        "drive.mount.started", "drive.mount.succeeded", "drive.mount.failed",
        "drive.mount.retrying", "drive.mount.not_attached"};
    return names;
}

RemountTarget manualTarget(const DetectedDrive& drive) {
    return {drive.id(),   drive.name(), drive.bsdName().value_or(""),
            std::nullopt, drive.id(),   drive.identity()};
}

} // namespace

// ---- manual mounts ----------------------------------------------------------

QCoro::Task<void> BerthkeepStore::mountDrive(std::string driveID) {
    // Nor while a sleep is held: its eject would be planned around this mount.
    if (m_ejectAttempt.isRunning() || isBeingMounted(driveID) || isSleepHeld()) {
        co_return;
    }
    const auto it =
        std::find_if(m_detectedDrives.begin(), m_detectedDrives.end(),
                     [&driveID](const DetectedDrive& drive) { return drive.id() == driveID; });
    if (it == m_detectedDrives.end() || it->scope() == DetectedDrive::Scope::excluded ||
        it->isMounted() || !it->bsdName()) {
        co_return;
    }
    const std::string name = it->name();
    std::vector<RemountTarget> targets{manualTarget(*it)};
    forgetWakeRemount({*it}, "manual_mount", takeReportNumber());
    co_await runManualMount(std::move(targets), name, name);
}

QCoro::Task<void> BerthkeepStore::mountDriveGroup(std::string groupID,
                                                  ShownDriveIDs shownDriveIDs) {
    // Mounting while an eject attempt runs (or a sleep is held) would fight it
    // for the same disks.
    if (m_ejectAttempt.isRunning() || isSleepHeld()) {
        co_return;
    }
    std::vector<RemountTarget> targets;
    std::vector<DetectedDrive> chosen;
    for (const DetectedDrive& drive : m_detectedDrives) {
        // One being mounted already (its card's own mount) is left to that mount.
        if (drive.scope() == DetectedDrive::Scope::managed && !drive.isMounted() &&
            drive.bsdName() && driveGroupID(drive) == groupID && !isBeingMounted(drive.id()) &&
            (!shownDriveIDs || shownDriveIDs->contains(drive.id()))) {
            targets.push_back(manualTarget(drive));
            chosen.push_back(drive);
        }
    }
    if (targets.empty()) {
        co_return;
    }
    forgetWakeRemount(chosen, "manual_mount", takeReportNumber());
    const std::string detail = driveCountText(static_cast<std::int64_t>(targets.size()));
    co_await runManualMount(std::move(targets), detail, std::nullopt);
}

QCoro::Task<void> BerthkeepStore::runManualMount(std::vector<RemountTarget> targets,
                                                 std::string progressDetail,
                                                 std::optional<std::string> targetName) {
    const QPointer<BerthkeepStore> self(this);
    const auto total = static_cast<std::int64_t>(targets.size());
    m_transientActionStatusPresenter->present({TransientActionStatusAction::mount,
                                               "Mounting drive...", std::move(progressDetail),
                                               TransientActionStatusTone::progress});
    const RemountOutcome outcome = co_await remountTargets(
        std::move(targets), m_timing.manualMountMaxAttempts, m_timing.manualMountRetryDelay,
        manualMountEventNames(), std::nullopt, Duration::zero(), false);
    if (!self) {
        co_return;
    }
    const std::vector<RemountTarget>& failed = outcome.failed;
    // The engine's last refresh no longer lists a drive that was pulled out: the
    // mount was refused for it, and the user is told it is gone.
    const auto gone = static_cast<std::int64_t>(
        std::count_if(failed.begin(), failed.end(), [this](const RemountTarget& target) {
            return !WakeRemountQueue::findDrive(target, m_detectedDrives);
        }));
    const auto failedCount = static_cast<std::int64_t>(failed.size());
    // Drives a sleep or the user's newer word kept from their mount did not
    // fail: they are neither counted nor named.
    const auto mountedCount =
        total - failedCount -
        static_cast<std::int64_t>(outcome.notTried.size() + outcome.leftAlone.size());
    if (mountedCount < 1 && failedCount < 1) {
        m_transientActionStatusPresenter->dismiss();
        co_return;
    }
    m_transientActionStatusPresenter->present(TransientActionStatus::mountResult(
        TransientActionStatusAction::mount, mountedCount, failedCount - gone, targetName, gone));
}

// ---- the remount engine -----------------------------------------------------

QCoro::Task<BerthkeepStore::RemountOutcome>
BerthkeepStore::remountTargets(std::vector<RemountTarget> targets, int maxAttempts,
                               Duration retryDelay, RemountEventNames eventNames,
                               std::optional<std::string> operationID, Duration failureSettleDelay,
                               bool groupByDevice, std::shared_ptr<CancelToken> cancel,
                               std::shared_ptr<WakeMounts> wake) {
    if (targets.empty()) {
        co_return RemountOutcome{};
    }
    // The user's words on these drives from now on are newer than this run.
    const std::uint64_t begunAt = takeReportNumber();
    co_return co_await remountAttempts(std::move(targets), std::max(1, maxAttempts), retryDelay,
                                       std::move(eventNames), std::move(operationID),
                                       failureSettleDelay, groupByDevice, std::move(cancel),
                                       std::move(wake), begunAt);
}

QCoro::Task<BerthkeepStore::RemountOutcome>
BerthkeepStore::remountAttempts(std::vector<RemountTarget> targets, int maxAttempts,
                                Duration retryDelay, RemountEventNames eventNames,
                                std::optional<std::string> operationID, Duration failureSettleDelay,
                                bool groupByDevice, std::shared_ptr<CancelToken> cancel,
                                std::shared_ptr<WakeMounts> wake, std::uint64_t begunAt) {
    const QPointer<BerthkeepStore> self(this);
    const bool onlyQueued = static_cast<bool>(wake);
    std::vector<RemountTarget> remaining = std::move(targets);
    // Not mounted here: the user took them back meanwhile (excluded, dequeued,
    // ejected or mounted them since this run began).
    std::vector<RemountTarget> leftAlone;
    const auto leaveAlone = [this, onlyQueued, begunAt,
                             &leftAlone](std::vector<RemountTarget>& list) {
        std::erase_if(list, [this, onlyQueued, begunAt, &leftAlone](const RemountTarget& target) {
            if (mayMountNow(target, onlyQueued, begunAt)) {
                return false;
            }
            leftAlone.push_back(target);
            return true;
        });
    };
    // Drives whose mount this run began or found them not attached for, and
    // drives it mounted.
    std::set<std::string> reached;
    std::set<std::string> mountedHere;
    // What is handed back: what is still down, with what was left alone. A
    // drive up by now, by this run or another hand, is not, nor one this run
    // mounted that another hand has taken down since.
    const auto stillDown = [this, &leftAlone, &reached,
                            &mountedHere](std::vector<RemountTarget> list) {
        RemountOutcome outcome;
        outcome.leftAlone = leftAlone;
        for (const RemountTarget& target : list) {
            const auto same = [&target](const RemountTarget& entry) {
                return entry.driveID == target.driveID;
            };
            if (std::any_of(leftAlone.begin(), leftAlone.end(), same) ||
                mountedHere.contains(target.driveID)) {
                continue;
            }
            (reached.contains(target.driveID) ? outcome.failed : outcome.notTried)
                .push_back(target);
        }
        for (std::vector<RemountTarget>* part :
             {&outcome.failed, &outcome.notTried, &outcome.leftAlone}) {
            std::erase_if(*part,
                          [this](const RemountTarget& target) { return isTargetMounted(target); });
        }
        return outcome;
    };
    if (isCancelled(cancel)) {
        co_return stillDown(std::move(remaining));
    }
    bool missing = false;
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        if (wake) {
            wake->notAttachedAtLastAttempt.clear();
            wake->leftToAnotherMountAtLastAttempt.clear();
        }
        if (missing) {
            // A drive may come back a few seconds after the wake: look again.
            co_await refreshInventoryNow();
            if (!self) {
                co_return RemountOutcome{remaining};
            }
        }
        missing = false;
        leaveAlone(remaining);
        // Found again by who they are: a disk name may be another disk's by now.
        std::vector<RemountTarget> pending;
        std::vector<RemountTarget> unresolved;
        for (const RemountTarget& target : remaining) {
            if (std::optional<RemountTarget> now =
                    WakeRemountQueue::resolved(target, m_detectedDrives)) {
                pending.push_back(std::move(*now));
                continue;
            }
            // Not attached: unresolved, and tried again at the next attempt.
            missing = true;
            reached.insert(target.driveID);
            unresolved.push_back(target);
            if (wake) {
                wake->notAttachedAtLastAttempt.insert(target.driveID);
            }
            m_logger.notice(reliability, eventNames.notAttached,
                            "Left a drive that is not attached for a later mount",
                            remountLogMetadata(operationID, target.driveID, target.driveName,
                                               target.bsdName, static_cast<std::size_t>(attempt),
                                               std::nullopt, std::nullopt));
        }
        // One group at a time, formed from what is left as it is now: a drive
        // excluded or dequeued meanwhile is left out, and a disk that shows an
        // excluded volume now is mounted volume by volume.
        while (!pending.empty()) {
            if (isCancelled(cancel)) {
                co_return stillDown(std::move(remaining));
            }
            if (isSleepHeld()) {
                // The sleep ejects what is up; a mount begun now would run into it.
                m_logger.notice(reliability, "drive.mount.stopped_for_sleep",
                                "Stopped mounting because the system is going to sleep",
                                remountLogMetadata(
                                    operationID, std::nullopt, std::nullopt, std::nullopt,
                                    static_cast<std::size_t>(attempt), std::nullopt, std::nullopt,
                                    {{"drive_names", joined(pending, &RemountTarget::driveName)}}));
                RemountOutcome outcome = stillDown(std::move(remaining));
                if (!wake) {
                    queueForTheWake(outcome.notTried, {begunAt, wakeCount()});
                }
                co_return outcome;
            }
            if (wake) {
                // Nothing is mounted while an eject runs; what it took down
                // meanwhile is not this wake's to bring back.
                const std::set<std::string> ejectedMeanwhile =
                    co_await waitWhileAnEjectRuns(cancel);
                if (!self) {
                    co_return RemountOutcome{remaining};
                }
                if (isCancelled(cancel)) {
                    co_return stillDown(std::move(remaining));
                }
                std::erase_if(pending, [&ejectedMeanwhile, &leftAlone](const RemountTarget& t) {
                    if (!ejectedMeanwhile.contains(t.driveID)) {
                        return false;
                    }
                    leftAlone.push_back(t);
                    return true;
                });
            }
            leaveAlone(pending);
            // Another mount of the drive runs (a cancelled wake remount's, still
            // in the tool): this attempt leaves it to that one and looks again
            // at its end.
            std::erase_if(pending,
                          [this, &unresolved, &wake, &reached](const RemountTarget& target) {
                              if (!isBeingMounted(target.driveID)) {
                                  return false;
                              }
                              reached.insert(target.driveID);
                              unresolved.push_back(target);
                              if (wake) {
                                  wake->leftToAnotherMountAtLastAttempt.insert(target.driveID);
                              }
                              return true;
                          });
            if (pending.empty()) {
                break;
            }
            pending = sanitizedWakeRemountTargets(std::move(pending));
            const RemountGroup group =
                groupByDevice
                    ? remountGroups(pending).front()
                    : RemountGroup{pending.front().remountGroupID.value_or(pending.front().driveID),
                                   pending.front().bsdName,
                                   {pending.front()}};
            std::erase_if(pending, [&group](const RemountTarget& target) {
                return std::any_of(group.targets.begin(), group.targets.end(),
                                   [&target](const RemountTarget& member) {
                                       return member.driveID == target.driveID;
                                   });
            });
            const RemountTarget& first = group.targets.front();
            const BerthkeepLogMetadata metadata = remountLogMetadata(
                operationID, first.driveID, first.driveName, first.bsdName,
                static_cast<std::size_t>(attempt), group.targets.size(), group.bsdName);
            m_logger.notice(reliability, eventNames.started, "Mount attempt started for drive",
                            metadata);

            // A drive counts as being mounted only while its own command runs
            // and its outcome is read: the sleep waits for it and counts it then,
            // and a drive that waits its turn is down, not mounting.
            std::vector<std::string> groupIDs;
            for (const RemountTarget& target : group.targets) {
                groupIDs.push_back(target.driveID);
                reached.insert(target.driveID);
            }
            setMounting(groupIDs, true);
            std::exception_ptr failure;
            try {
                if (groupByDevice && group.targets.size() > 1) {
                    co_await m_remounter->mountDisk(group, cancel);
                } else {
                    co_await m_remounter->mount(first, cancel);
                }
            } catch (...) {
                failure = std::current_exception();
            }
            if (!self) {
                co_return RemountOutcome{remaining};
            }
            const std::string fallback =
                failure ? DriveOperationError::describe(failure) : groupedRemountError;
            const RemountVerdict verdict =
                co_await evaluateRemountAttempt(group, failureSettleDelay, fallback, cancel);
            if (!self) {
                co_return RemountOutcome{remaining};
            }
            setMounting(groupIDs, false);
            if (!failure && isCancelled(cancel)) {
                co_return stillDown(std::move(remaining));
            }
            for (const RemountTarget& target : group.targets) {
                if (std::none_of(verdict.unresolved.begin(), verdict.unresolved.end(),
                                 [&target](const RemountTarget& down) {
                                     return down.driveID == target.driveID;
                                 })) {
                    mountedHere.insert(target.driveID);
                }
            }
            if (verdict.unresolved.empty()) {
                m_logger.notice(reliability, eventNames.succeeded,
                                "Mount attempt succeeded for drive", metadata);
                continue;
            }
            unresolved.insert(unresolved.end(), verdict.unresolved.begin(),
                              verdict.unresolved.end());
            BerthkeepLogMetadata failedMetadata = metadata;
            failedMetadata["error"] = verdict.error;
            failedMetadata["unresolved_count"] = std::to_string(verdict.unresolved.size());
            failedMetadata["unresolved_drive_names"] =
                joined(verdict.unresolved, &RemountTarget::driveName);
            failedMetadata["unresolved_drive_ids"] =
                joined(verdict.unresolved, &RemountTarget::driveID);
            m_logger.error(reliability, eventNames.failed, "Mount attempt failed for drive",
                           failedMetadata);
        }

        std::vector<RemountTarget> down;
        for (const RemountTarget& target : unresolved) {
            if (!isTargetMounted(target)) {
                down.push_back(target);
            }
        }
        if (down.empty() || attempt == maxAttempts || isCancelled(cancel)) {
            co_return stillDown(std::move(down));
        }
        remaining = std::move(down);
        m_logger.notice(reliability, eventNames.retrying, "Retrying mount for remaining drives",
                        remountLogMetadata(
                            operationID, std::nullopt, std::nullopt, std::nullopt,
                            static_cast<std::size_t>(attempt + 1), std::nullopt, std::nullopt,
                            {{"remaining_count", std::to_string(remaining.size())},
                             {"drive_names", joined(remaining, &RemountTarget::driveName)},
                             {"remaining_drive_ids", joined(remaining, &RemountTarget::driveID)}}));
        if (retryDelay > Duration::zero()) {
            const std::shared_ptr<Clock> clock = m_platform.clock;
            co_await clock->sleep(retryDelay, cancel);
            if (!self) {
                co_return RemountOutcome{remaining};
            }
        }
        if (isCancelled(cancel)) {
            co_return stillDown(std::move(remaining));
        }
    }
    co_return stillDown(std::move(remaining));
}

void BerthkeepStore::queueForTheWake(const std::vector<RemountTarget>& targets,
                                     WakeRemountQueue::QueuedBy by) {
    std::vector<RemountTarget> fresh;
    for (const RemountTarget& target : targets) {
        const DetectedDrive* drive = WakeRemountQueue::findDrive(target, m_detectedDrives);
        if (!drive) {
            continue;
        }
        if (auto queued =
                wakeRemountTarget(*drive, allowsGroupedWakeRemount(driveGroupID(*drive)))) {
            fresh.push_back(std::move(*queued));
        }
    }
    const std::size_t preserved = wakeRemountQueue().size();
    if (wakeRemountQueue().merge(fresh, by) == 0) {
        return;
    }
    m_logger.notice(reliability, "sleep.wake.remount.scheduled",
                    "Queued remount targets for the next wake",
                    wakeRemountQueue().scheduledMetadata(fresh.size(), preserved));
}

QCoro::Task<BerthkeepStore::RemountVerdict>
BerthkeepStore::evaluateRemountAttempt(RemountGroup group, Duration failureSettleDelay,
                                       std::string fallbackError,
                                       std::shared_ptr<CancelToken> cancel) {
    const QPointer<BerthkeepStore> self(this);
    co_await refreshInventoryNow();
    if (!self || isCancelled(cancel)) {
        co_return RemountVerdict{group.targets, fallbackError};
    }
    const auto unmounted = [this, &group] {
        std::vector<RemountTarget> down;
        for (const RemountTarget& target : group.targets) {
            if (!isTargetMounted(target)) {
                down.push_back(target);
            }
        }
        return down;
    };
    std::vector<RemountTarget> down = unmounted();
    if (down.empty() || failureSettleDelay <= Duration::zero()) {
        co_return RemountVerdict{down, fallbackError};
    }
    m_logger.notice(reliability, "sleep.wake.remount.settling",
                    "Waiting briefly before retrying unresolved remount targets",
                    {{"group_bsd_name", group.bsdName},
                     {"group_drive_count", std::to_string(group.targets.size())},
                     {"unresolved_count", std::to_string(down.size())},
                     {"unresolved_drive_names", joined(down, &RemountTarget::driveName)}});
    const std::shared_ptr<Clock> clock = m_platform.clock;
    co_await clock->sleep(failureSettleDelay, cancel);
    if (!self || isCancelled(cancel)) {
        co_return RemountVerdict{down, fallbackError};
    }
    co_await refreshInventoryNow();
    if (!self) {
        co_return RemountVerdict{down, fallbackError};
    }
    co_return RemountVerdict{unmounted(), fallbackError};
}

void BerthkeepStore::setMounting(const std::vector<std::string>& driveIDs, bool active) {
    std::set<std::string> leftToThisMount;
    for (const std::string& id : driveIDs) {
        int& count = m_mountsInFlight[id];
        count += active ? 1 : -1;
        if (count <= 0) {
            m_mountsInFlight.erase(id);
            if (m_drivesLeftToAnotherMount.erase(id) > 0) {
                leftToThisMount.insert(id);
            }
        }
    }
    rebuildCurrentState();
    if (!leftToThisMount.empty()) {
        mountQueuedDrivesLeftToEndedMounts(leftToThisMount);
    }
}

// The one answer to "being mounted": a drive whose own mount command runs.
bool BerthkeepStore::isBeingMounted(const std::string& driveID) const {
    return m_mountsInFlight.contains(driveID);
}

std::set<std::string> BerthkeepStore::mountingDriveIDs() const {
    std::set<std::string> ids;
    for (const auto& [id, count] : m_mountsInFlight) {
        ids.insert(id);
    }
    return ids;
}

bool BerthkeepStore::mayMountNow(const RemountTarget& target, bool onlyQueued,
                                 std::optional<std::uint64_t> begunAt) const {
    // Judged by the drive as the inventory lists it now: the queued id may have
    // passed to a newcomer, and the drive may be back under an id the user
    // excluded. One not attached is judged when it is found.
    const DetectedDrive* now = WakeRemountQueue::findDrive(target, m_detectedDrives);
    if (now && (now->scope() == DetectedDrive::Scope::excluded || isExcluded(now->id()))) {
        return false;
    }
    if (begunAt && wakeRemountQueue().spokenAboutSince(target, *begunAt)) {
        return false;
    }
    if (!onlyQueued) {
        return true;
    }
    // Queued by an Eject & Sleep of this wake: it comes back after its own sleep.
    const auto& queued = wakeRemountQueue().targets();
    return wakeRemountQueue().isDue(target, wakeCount()) &&
           std::any_of(queued.begin(), queued.end(), [&target](const RemountTarget& entry) {
               return entry.driveID == target.driveID;
           });
}

// ---- grouping ---------------------------------------------------------------

std::vector<RemountGroup> BerthkeepStore::remountGroups(const std::vector<RemountTarget>& targets) {
    std::vector<RemountGroup> groups;
    for (const RemountTarget& target : targets) {
        const std::string key =
            target.remountGroupID.value_or(target.remountGroupBSDName.value_or(target.driveID));
        auto it = std::find_if(groups.begin(), groups.end(),
                               [&key](const RemountGroup& group) { return group.id == key; });
        if (it == groups.end()) {
            groups.push_back({key, target.remountGroupBSDName.value_or(target.bsdName), {target}});
        } else {
            it->targets.push_back(target);
        }
    }
    return groups;
}

BerthkeepLogMetadata BerthkeepStore::remountLogMetadata(
    const std::optional<std::string>& operationID, const std::optional<std::string>& driveID,
    const std::optional<std::string>& driveName, const std::optional<std::string>& bsdName,
    std::optional<std::size_t> attempt, std::optional<std::size_t> groupDriveCount,
    const std::optional<std::string>& groupBSDName, BerthkeepLogMetadata extra) {
    const auto put = [&extra](const char* key, const std::optional<std::string>& value) {
        if (value) {
            extra[key] = *value;
        }
    };
    put("remount_attempt_id", operationID);
    put("drive_id", driveID);
    put("drive_name", driveName);
    put("bsd_name", bsdName);
    if (attempt) {
        extra["attempt"] = std::to_string(*attempt);
    }
    if (groupDriveCount) {
        extra["group_drive_count"] = std::to_string(*groupDriveCount);
    }
    put("group_bsd_name", groupBSDName);
    return extra;
}

std::string BerthkeepStore::driveGroupID(const DetectedDrive& drive) {
    // The record already resolves group id, eject target, BSD name, id in that order.
    return drive.ejectGroupID();
}

bool BerthkeepStore::allowsGroupedWakeRemount(const std::string& groupID) const {
    bool any = false;
    for (const DetectedDrive& drive : m_detectedDrives) {
        if (driveGroupID(drive) != groupID) {
            continue;
        }
        any = true;
        if (drive.scope() == DetectedDrive::Scope::excluded || !drive.allowsGroupedWakeRemount()) {
            return false;
        }
    }
    return any;
}

bool BerthkeepStore::visibleExcludedSiblingExists(const std::string& groupID) const {
    return std::any_of(m_detectedDrives.begin(), m_detectedDrives.end(),
                       [&groupID](const DetectedDrive& drive) {
                           return drive.scope() == DetectedDrive::Scope::excluded &&
                                  driveGroupID(drive) == groupID;
                       });
}

std::optional<RemountTarget> BerthkeepStore::wakeRemountTarget(const DetectedDrive& drive,
                                                               bool allowGrouping) const {
    // An excluded drive is never queued, whichever road would queue it.
    if (!drive.bsdName() || isExcluded(drive.id())) {
        return std::nullopt;
    }
    if (!allowGrouping) {
        return RemountTarget{drive.id(),   drive.name(), *drive.bsdName(),
                             std::nullopt, drive.id(),   drive.identity()};
    }
    // The record has already resolved its eject target (else the BSD name) and its
    // group id (else the eject target, else the id).
    return RemountTarget{drive.id(),           drive.name(),
                         *drive.bsdName(),     drive.ejectTargetBSDName(),
                         drive.ejectGroupID(), drive.identity()};
}

} // namespace berthkeep
