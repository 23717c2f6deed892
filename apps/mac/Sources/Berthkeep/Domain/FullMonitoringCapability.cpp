#include "Berthkeep/Domain/FullMonitoringCapability.hpp"

#include <utility>

namespace berthkeep {

namespace {

constexpr std::string_view kUnavailable = "unavailable";
constexpr std::string_view kUnavailablePrefix = "unavailable:";

} // namespace

FullMonitoringCapability FullMonitoringCapability::unavailable(std::optional<std::string> message) {
    FullMonitoringCapability capability;
    capability.m_kind = Kind::unavailable;
    capability.m_message = std::move(message);
    return capability;
}

FullMonitoringCapability FullMonitoringCapability::unknown() {
    return FullMonitoringCapability();
}

FullMonitoringCapability FullMonitoringCapability::available() {
    FullMonitoringCapability capability;
    capability.m_kind = Kind::available;
    return capability;
}

FullMonitoringCapability FullMonitoringCapability::setupRequired() {
    FullMonitoringCapability capability;
    capability.m_kind = Kind::setupRequired;
    return capability;
}

std::string FullMonitoringCapability::storedString() const {
    switch (m_kind) {
    case Kind::unavailable:
        if (m_message) {
            return std::string(kUnavailablePrefix) + *m_message;
        }
        return std::string(kUnavailable);
    case Kind::unknown:
        return "unknown";
    case Kind::available:
        return "available";
    case Kind::setupRequired:
        return "setup_required";
    }
    return {};
}

std::optional<FullMonitoringCapability>
FullMonitoringCapability::fromStoredString(std::string_view text) {
    if (text == "available") {
        return available();
    }
    if (text == "setup_required") {
        return setupRequired();
    }
    if (text == "unknown") {
        return unknown();
    }
    if (text.starts_with(kUnavailablePrefix)) {
        return unavailable(std::string(text.substr(kUnavailablePrefix.size())));
    }
    if (text == kUnavailable) {
        return unavailable();
    }
    return std::nullopt;
}

} // namespace berthkeep
