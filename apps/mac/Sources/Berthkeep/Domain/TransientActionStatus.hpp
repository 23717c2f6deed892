#pragma once

#include <optional>
#include <string>

namespace berthkeep {

// Which action a transient status panel reports on.
enum class TransientActionStatusAction {
    eject,
    ejectAll,
    ejectAndSleep,
    mount,
};

enum class TransientActionStatusTone {
    progress,
    success,
    attention,
};

// The content of the short-lived panel shown during and after an action.
struct TransientActionStatus {
    TransientActionStatusAction action = TransientActionStatusAction::eject;
    std::string title;
    std::optional<std::string> detail;
    TransientActionStatusTone tone = TransientActionStatusTone::progress;

    // After "Eject & Sleep" ejected its drives but the system would not sleep:
    // "<n> drive(s) ejected", "Sleep could not start".
    static TransientActionStatus sleepRequestFailed(int ejectedCount) {
        return TransientActionStatus{TransientActionStatusAction::ejectAndSleep,
                                     std::to_string(ejectedCount) +
                                         (ejectedCount == 1 ? " drive" : " drives") + " ejected",
                                     "Sleep could not start", TransientActionStatusTone::attention};
    }

    bool operator==(const TransientActionStatus&) const = default;
};

} // namespace berthkeep
