#include "Berthkeep/Domain/TransientActionStatus.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

#include <initializer_list>
#include <utility>

namespace berthkeep {

namespace {

// "1 drive not attached", with the target's name or, below, the other
// counts that are not zero ("1 drive still in use, 2 drives ejected").
TransientActionStatus
noLongerAttached(TransientActionStatusAction action, std::int64_t goneCount,
                 const std::optional<std::string>& targetName,
                 std::initializer_list<std::pair<std::int64_t, const char*>> others) {
    std::optional<std::string> detail = targetName;
    if (!detail) {
        for (const auto& [count, outcome] : others) {
            if (count >= 1) {
                const std::string text = driveCountText(count) + outcome;
                detail = detail ? *detail + ", " + text : text;
            }
        }
    }
    return {action, driveCountText(goneCount) + " not attached", detail,
            TransientActionStatusTone::attention};
}

} // namespace

TransientActionStatus TransientActionStatus::result(TransientActionStatusAction action,
                                                    std::int64_t ejectedCount,
                                                    std::int64_t stillBusyCount,
                                                    const std::optional<std::string>& targetName,
                                                    std::int64_t noLongerAttachedCount) {
    if (noLongerAttachedCount >= 1) {
        return noLongerAttached(action, noLongerAttachedCount, targetName,
                                {{stillBusyCount, " still in use"}, {ejectedCount, " ejected"}});
    }
    if (stillBusyCount < 1) {
        std::optional<std::string> detail = targetName;
        if (!detail && action == TransientActionStatusAction::ejectAndSleep) {
            detail = "Putting Mac to sleep";
        }
        return {action, driveCountText(ejectedCount) + " ejected", detail,
                TransientActionStatusTone::success};
    }
    std::optional<std::string> detail = targetName;
    if (!detail && ejectedCount >= 1) {
        detail = driveCountText(ejectedCount) + " ejected";
    }
    return {action, driveCountText(stillBusyCount) + " still in use", detail,
            TransientActionStatusTone::attention};
}

TransientActionStatus TransientActionStatus::mountResult(
    TransientActionStatusAction action, std::int64_t mountedCount, std::int64_t failedCount,
    const std::optional<std::string>& targetName, std::int64_t noLongerAttachedCount) {
    if (noLongerAttachedCount >= 1) {
        return noLongerAttached(action, noLongerAttachedCount, targetName,
                                {{failedCount, " could not mount"}, {mountedCount, " mounted"}});
    }
    if (failedCount < 1) {
        return {action, driveCountText(mountedCount) + " mounted", targetName,
                TransientActionStatusTone::success};
    }
    std::optional<std::string> detail = targetName;
    if (!detail && mountedCount >= 1) {
        detail = driveCountText(mountedCount) + " mounted";
    }
    return {action, driveCountText(failedCount) + " could not mount", detail,
            TransientActionStatusTone::attention};
}

TransientActionStatus TransientActionStatus::sleepRequestFailed(std::int64_t ejectedCount) {
    return {TransientActionStatusAction::ejectAndSleep, driveCountText(ejectedCount) + " ejected",
            "Sleep could not start", TransientActionStatusTone::attention};
}

TransientActionStatus TransientActionStatus::settingsDidNotOpen(std::string reason) {
    return {TransientActionStatusAction::openSettings, "Settings could not open", std::move(reason),
            TransientActionStatusTone::attention};
}

} // namespace berthkeep
