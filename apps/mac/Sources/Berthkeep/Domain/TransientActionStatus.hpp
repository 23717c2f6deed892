#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace berthkeep {

// Which action a transient status panel reports on.
enum class TransientActionStatusAction {
    eject,
    ejectAll,
    ejectAndSleep,
    mount,
    openSettings,
};

enum class TransientActionStatusTone {
    progress,
    success,
    attention,
};

// The content of the short-lived panel shown during and after an action.
// Progress panels are built directly; result panels come from the factories,
// which write every count as "1 drive", "2 drives".
struct TransientActionStatus {
    TransientActionStatusAction action = TransientActionStatusAction::eject;
    std::string title;
    std::optional<std::string> detail;
    TransientActionStatusTone tone = TransientActionStatusTone::progress;

    // After an eject: "N ejected" when nothing stayed busy, else "N still in use"
    // with the ejected count (or the target name) below. Drives found gone before
    // their eject ran (not counted as busy) come first: "N not attached",
    // with the target name, else the other counts, below.
    static TransientActionStatus result(TransientActionStatusAction action,
                                        std::int64_t ejectedCount, std::int64_t stillBusyCount,
                                        const std::optional<std::string>& targetName,
                                        std::int64_t noLongerAttachedCount = 0);
    // After a mount: "N mounted" when nothing failed, else "N could not mount";
    // drives gone before their mount as for an eject.
    static TransientActionStatus mountResult(TransientActionStatusAction action,
                                             std::int64_t mountedCount, std::int64_t failedCount,
                                             const std::optional<std::string>& targetName,
                                             std::int64_t noLongerAttachedCount = 0);
    // The drives were ejected but the system refused to sleep.
    static TransientActionStatus sleepRequestFailed(std::int64_t ejectedCount);
    // The settings where Full Monitoring is set up could not be opened.
    static TransientActionStatus settingsDidNotOpen(std::string reason);

    bool operator==(const TransientActionStatus&) const = default;
};

} // namespace berthkeep
