#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"

#include <cstdio>

namespace berthkeep {

const BerthkeepTelemetryQueue BerthkeepTelemetryQueue::empty{};

std::string BerthkeepTelemetryEvent::stableHash(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char character : text) {
        hash ^= static_cast<std::uint8_t>(character);
        hash *= 0x100000001b3ULL;
    }
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(hash));
    return buffer;
}

std::string BerthkeepTelemetryEvent::legacyEventID(const std::string& name,
                                                   BerthkeepTelemetryCategory category,
                                                   std::int64_t occurredAt,
                                                   const std::string& installID,
                                                   const std::string& sessionID,
                                                   const BerthkeepTelemetryPayload& payload) {
    // std::map orders by byte, which for UTF-8 is code-point order.
    std::string canonical;
    for (const auto& [key, value] : payload) {
        if (!canonical.empty()) {
            canonical += '&';
        }
        canonical += key;
        canonical += '=';
        canonical += value;
    }
    return installID + ":" + sessionID + ":" + std::to_string(occurredAt) + ":" +
           toString(category) + ":" + name + ":" + stableHash(canonical);
}

} // namespace berthkeep
