#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Domain/DomainCodingError.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotificationCoding.hpp"
#include "Berthkeep/Store/StoredLastActionSummary.hpp"

namespace berthkeep {

namespace {

PropertyListValue::Data bytes(const std::string& text) {
    return PropertyListValue::Data(text.begin(), text.end());
}

std::optional<std::string> storedText(const UserDefaults& defaults, const char* key) {
    const auto data = defaults.dataForKey(key);
    if (!data) {
        return std::nullopt;
    }
    return std::string(data->begin(), data->end());
}

} // namespace

// Unreadable entries are left as they are: the next write replaces or removes them.
void BerthkeepStore::readPersistedState() {
    m_lastActionSummary = LastActionSummary{LastActionSummary::Result::noneFound()};
    if (const auto text = storedText(*m_defaults, lastActionSummaryKey)) {
        if (const auto stored = StoredLastActionSummary::decode(*text)) {
            m_lastActionSummary = stored->summary();
        }
    }

    m_pendingSleepFailureNotification.reset();
    if (const auto text = storedText(*m_defaults, pendingSleepFailureNotificationKey)) {
        const nlohmann::json json = parseBoundedJsonOrDiscarded(*text);
        try {
            m_pendingSleepFailureNotification = pendingSleepFailureNotificationFromJson(json);
        } catch (const DomainCodingError&) {
        }
    }
}

void BerthkeepStore::persistLastActionSummary() {
    if (!m_lastActionSummary) {
        m_defaults->removeObject(lastActionSummaryKey);
        return;
    }
    m_defaults->setData(lastActionSummaryKey,
                        bytes(StoredLastActionSummary::from(*m_lastActionSummary).encoded()));
}

void BerthkeepStore::persistPendingSleepFailureNotification() {
    if (!m_pendingSleepFailureNotification) {
        m_defaults->removeObject(pendingSleepFailureNotificationKey);
        return;
    }
    m_defaults->setData(pendingSleepFailureNotificationKey,
                        bytes(toJson(*m_pendingSleepFailureNotification).dump()));
}

} // namespace berthkeep
