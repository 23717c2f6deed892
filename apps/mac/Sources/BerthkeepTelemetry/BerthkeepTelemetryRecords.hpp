#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BerthkeepTelemetry/BerthkeepTelemetryCategory.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryConfiguration.hpp"

namespace berthkeep {

using BerthkeepTelemetryPayload = std::map<std::string, std::string>;

struct BerthkeepTelemetryConsent {
    bool anonymousImprovementEnabled = false;

    bool operator==(const BerthkeepTelemetryConsent&) const = default;
};

struct BerthkeepTelemetryEvent {
    std::string eventID; // upper-case UUID text when the program makes the event
    std::string name;
    BerthkeepTelemetryCategory category = BerthkeepTelemetryCategory::operational;
    std::int64_t occurredAt = 0; // whole seconds since 1970 UTC
    std::string installID;
    std::string sessionID;
    std::string appVersion;
    int macOSMajorVersion = 0;
    BerthkeepTelemetryPayload payload;

    bool operator==(const BerthkeepTelemetryEvent&) const = default;

    // The identifier of an event stored before events carried one: stable for
    // the same content, whatever the order of the payload's keys.
    static std::string legacyEventID(const std::string& name, BerthkeepTelemetryCategory category,
                                     std::int64_t occurredAt, const std::string& installID,
                                     const std::string& sessionID,
                                     const BerthkeepTelemetryPayload& payload);
    // 64-bit FNV-1a over the bytes, lower-case hexadecimal without leading zeros.
    static std::string stableHash(std::string_view text);
};

// The queue between passes. The program only passes on what the core returned.
struct BerthkeepTelemetryQueue {
    std::optional<std::string> installID;
    std::optional<std::string> sessionID;
    std::optional<std::int64_t> nextFlushAt;
    std::uint32_t consecutiveFailures = 0;
    std::vector<BerthkeepTelemetryEvent> items;

    bool operator==(const BerthkeepTelemetryQueue&) const = default;

    static const BerthkeepTelemetryQueue empty;
};

// The request of one processing pass.
struct BerthkeepTelemetryInput {
    BerthkeepTelemetryConfiguration config;
    BerthkeepTelemetryConsent consent;
    BerthkeepTelemetryQueue queue;
    std::vector<BerthkeepTelemetryEvent> newEvents;
    std::int64_t now = 0;

    bool operator==(const BerthkeepTelemetryInput&) const = default;
};

// The response of one processing pass.
struct BerthkeepTelemetryOutput {
    BerthkeepTelemetryQueue queue;
    std::int64_t acceptedNewEvents = 0;
    std::int64_t droppedNewEvents = 0;
    std::int64_t uploadedEvents = 0;
    std::optional<std::string> lastError;

    bool operator==(const BerthkeepTelemetryOutput&) const = default;
};

} // namespace berthkeep
