#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// What started an eject attempt.
enum class TriggerReason {
    systemSleep,
    lidCloseSleep,
    manualEjectAndSleep,
    manualEjectAll,
    manualRetry,
};

// Serialised form ("system_sleep", ...), used on the core wire and in log metadata.
std::string toString(TriggerReason trigger);
std::optional<TriggerReason> triggerReasonFromString(std::string_view text);

// Display name ("System sleep", ...).
std::string label(TriggerReason trigger);

// True for the triggers that end in system sleep.
bool isSleepTrigger(TriggerReason trigger);

} // namespace berthkeep
