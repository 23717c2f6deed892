#include "Berthkeep/Store/StoredLastActionSummary.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include <nlohmann/json.hpp>

#include <limits>

namespace berthkeep {

namespace {

constexpr const char* kKind = "kind";
constexpr const char* kEjectedCount = "ejectedCount";
constexpr const char* kStillBusyCount = "stillBusyCount";

using Result = LastActionSummary::Result;

// Absent or null: nothing. Any value other than an integer in range makes the
// whole document unreadable.
std::optional<std::int64_t> optionalCount(const nlohmann::json& object, const char* key,
                                          bool& readable) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(value);
        }
    } else if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    readable = false;
    return std::nullopt;
}

} // namespace

StoredLastActionSummary StoredLastActionSummary::from(const LastActionSummary& summary) {
    return StoredLastActionSummary{summary.result.kind(), summary.result.ejectedCount(),
                                   summary.result.stillBusyCount()};
}

LastActionSummary StoredLastActionSummary::summary() const {
    const std::int64_t ejected = ejectedCount.value_or(0);
    const std::int64_t stillBusy = stillBusyCount.value_or(0);
    switch (kind) {
    case Kind::ejected:
        return LastActionSummary{Result::ejected(ejected)};
    case Kind::partialSuccess:
        return LastActionSummary{Result::partialSuccess(ejected, stillBusy)};
    case Kind::stillBusy:
        return LastActionSummary{Result::stillBusy(stillBusy)};
    case Kind::noneFound:
        break;
    }
    return LastActionSummary{Result::noneFound()};
}

std::string StoredLastActionSummary::encoded() const {
    nlohmann::json object{{kKind, toString(kind)}};
    if (ejectedCount) {
        object[kEjectedCount] = *ejectedCount;
    }
    if (stillBusyCount) {
        object[kStillBusyCount] = *stillBusyCount;
    }
    return object.dump();
}

std::optional<StoredLastActionSummary> StoredLastActionSummary::decode(const std::string& bytes) {
    const nlohmann::json object = parseBoundedJsonOrDiscarded(bytes);
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto kindValue = object.find(kKind);
    if (kindValue == object.end() || !kindValue->is_string()) {
        return std::nullopt;
    }
    const auto kind = lastActionResultKindFromString(kindValue->get<std::string>());
    if (!kind) {
        return std::nullopt;
    }
    bool readable = true;
    StoredLastActionSummary stored{*kind, optionalCount(object, kEjectedCount, readable),
                                   optionalCount(object, kStillBusyCount, readable)};
    if (!readable) {
        return std::nullopt;
    }
    return stored;
}

} // namespace berthkeep
