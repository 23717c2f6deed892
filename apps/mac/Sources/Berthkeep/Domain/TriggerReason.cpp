#include "Berthkeep/Domain/TriggerReason.hpp"

#include <array>
#include <utility>

namespace berthkeep {

namespace {

constexpr std::array<std::pair<TriggerReason, std::string_view>, 5> kSerialised{{
    {TriggerReason::systemSleep, "system_sleep"},
    {TriggerReason::lidCloseSleep, "lid_close_sleep"},
    {TriggerReason::manualEjectAndSleep, "manual_eject_and_sleep"},
    {TriggerReason::manualEjectAll, "manual_eject_all"},
    {TriggerReason::manualRetry, "manual_retry"},
}};

} // namespace

std::string toString(TriggerReason trigger) {
    for (const auto& [value, text] : kSerialised) {
        if (value == trigger) {
            return std::string(text);
        }
    }
    return {};
}

std::optional<TriggerReason> triggerReasonFromString(std::string_view text) {
    for (const auto& [value, serialised] : kSerialised) {
        if (serialised == text) {
            return value;
        }
    }
    return std::nullopt;
}

std::string label(TriggerReason trigger) {
    switch (trigger) {
    case TriggerReason::systemSleep:
        return "System sleep";
    case TriggerReason::lidCloseSleep:
        return "Lid close sleep";
    case TriggerReason::manualEjectAndSleep:
        return "Manual Eject & Sleep";
    case TriggerReason::manualEjectAll:
        return "Manual Eject All";
    case TriggerReason::manualRetry:
        return "Manual retry";
    }
    return {};
}

bool isSleepTrigger(TriggerReason trigger) {
    switch (trigger) {
    case TriggerReason::systemSleep:
    case TriggerReason::lidCloseSleep:
    case TriggerReason::manualEjectAndSleep:
        return true;
    case TriggerReason::manualEjectAll:
    case TriggerReason::manualRetry:
        return false;
    }
    return false;
}

} // namespace berthkeep
