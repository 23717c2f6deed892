#include "Berthkeep/Domain/GlobalSafetyState.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

#include <utility>

namespace berthkeep {

GlobalSafetyState GlobalSafetyState::limitedProtection(std::string supportingCopy) {
    GlobalSafetyState state;
    state.m_kind = Kind::limitedProtection;
    state.m_supportingCopy = std::move(supportingCopy);
    return state;
}

GlobalSafetyState GlobalSafetyState::attention(std::int64_t problemDriveCount) {
    GlobalSafetyState state;
    state.m_kind = Kind::attention;
    state.m_problemDriveCount = problemDriveCount;
    return state;
}

GlobalSafetyState GlobalSafetyState::working(TriggerReason trigger) {
    GlobalSafetyState state;
    state.m_kind = Kind::working;
    state.m_trigger = trigger;
    return state;
}

GlobalSafetyState GlobalSafetyState::noManagedDrives() {
    return GlobalSafetyState();
}

GlobalSafetyState GlobalSafetyState::fullMonitoringUnavailable() {
    GlobalSafetyState state;
    state.m_kind = Kind::fullMonitoringUnavailable;
    return state;
}

GlobalSafetyState GlobalSafetyState::fullMonitoringVerifying() {
    GlobalSafetyState state;
    state.m_kind = Kind::fullMonitoringVerifying;
    return state;
}

GlobalSafetyState GlobalSafetyState::safe() {
    GlobalSafetyState state;
    state.m_kind = Kind::safe;
    return state;
}

std::optional<std::int64_t> GlobalSafetyState::problemDriveCount() const {
    if (m_kind != Kind::attention) {
        return std::nullopt;
    }
    return m_problemDriveCount;
}

std::optional<TriggerReason> GlobalSafetyState::trigger() const {
    if (m_kind != Kind::working) {
        return std::nullopt;
    }
    return m_trigger;
}

std::string GlobalSafetyState::headerCopy() const {
    switch (m_kind) {
    case Kind::limitedProtection:
        return "Limited protection";
    case Kind::attention:
        return driveCountText(m_problemDriveCount) + " still in use";
    case Kind::working:
        return isSleepTrigger(m_trigger) ? "Preparing drives for sleep\u2026"
                                         : "Ejecting drives\u2026";
    case Kind::noManagedDrives:
        return "No managed drives connected";
    case Kind::fullMonitoringUnavailable:
        return "Full Monitoring unavailable";
    case Kind::fullMonitoringVerifying:
        return "Checking drive activity\u2026";
    case Kind::safe:
        return "All managed drives safe";
    }
    return {};
}

std::string GlobalSafetyState::supportingCopy() const {
    switch (m_kind) {
    case Kind::limitedProtection:
        return m_supportingCopy;
    case Kind::attention:
        return "Close apps using the drive and try again";
    case Kind::working:
        return "Ejecting drives";
    case Kind::noManagedDrives:
        return "Connect a drive to monitor its safety status";
    case Kind::fullMonitoringUnavailable:
        return "Open Settings to finish setup";
    case Kind::fullMonitoringVerifying:
        return "Finishing Full Monitoring setup";
    case Kind::safe:
        return "No active use detected";
    }
    return {};
}

std::string GlobalSafetyState::description() const {
    switch (m_kind) {
    case Kind::limitedProtection: {
        // Quoted and escaped, so the copy cannot be mistaken for the rest of the line.
        std::string quoted;
        for (const char c : m_supportingCopy) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        return "limitedProtection(supportingCopy: \"" + quoted + "\")";
    }
    case Kind::attention:
        return "attention(problemDriveCount: " + std::to_string(m_problemDriveCount) + ")";
    case Kind::working:
        return "working(trigger: " + toString(m_trigger) + ")";
    case Kind::noManagedDrives:
        return "noManagedDrives";
    case Kind::fullMonitoringUnavailable:
        return "fullMonitoringUnavailable";
    case Kind::fullMonitoringVerifying:
        return "fullMonitoringVerifying";
    case Kind::safe:
        return "safe";
    }
    return {};
}

} // namespace berthkeep
