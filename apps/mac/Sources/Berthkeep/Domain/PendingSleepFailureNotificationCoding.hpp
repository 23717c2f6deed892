#pragma once

#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"

#include <nlohmann/json_fwd.hpp>

namespace berthkeep {

// {"failedDriveCount": n}, the persisted form.
nlohmann::json toJson(const PendingSleepFailureNotification& notification);

// Ignores other keys; throws DomainCodingError when "failedDriveCount" is missing, null
// or not an integer.
PendingSleepFailureNotification pendingSleepFailureNotificationFromJson(const nlohmann::json& json);

} // namespace berthkeep
