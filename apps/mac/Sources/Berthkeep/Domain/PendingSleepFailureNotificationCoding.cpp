#include "Berthkeep/Domain/PendingSleepFailureNotificationCoding.hpp"

#include "Berthkeep/Domain/DomainCodingError.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

namespace berthkeep {

namespace {

constexpr const char* kFailedDriveCount = "failedDriveCount";

} // namespace

nlohmann::json toJson(const PendingSleepFailureNotification& notification) {
    return nlohmann::json{{kFailedDriveCount, notification.failedDriveCount}};
}

PendingSleepFailureNotification
pendingSleepFailureNotificationFromJson(const nlohmann::json& json) {
    using Kind = DomainCodingError::Kind;
    if (!json.is_object()) {
        throw DomainCodingError(Kind::typeMismatch, "Expected a notification object");
    }
    const auto it = json.find(kFailedDriveCount);
    if (it == json.end()) {
        throw DomainCodingError(Kind::keyNotFound, "Missing key \"failedDriveCount\"");
    }
    if (it->is_null()) {
        throw DomainCodingError(Kind::valueNotFound, "Null under \"failedDriveCount\"");
    }
    if (it->is_number_unsigned() &&
        it->get<std::uint64_t>() <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return PendingSleepFailureNotification{static_cast<std::int64_t>(it->get<std::uint64_t>())};
    }
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        return PendingSleepFailureNotification{it->get<std::int64_t>()};
    }
    throw DomainCodingError(Kind::typeMismatch, "Expected an integer under \"failedDriveCount\"");
}

} // namespace berthkeep
