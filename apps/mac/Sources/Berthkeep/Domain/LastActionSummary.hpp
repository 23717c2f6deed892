#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// The outcome of the last eject attempt, shown in the menu and persisted.
struct LastActionSummary {
    // Payload enumeration: ejected(count), partialSuccess(ejected, stillBusy),
    // stillBusy(count), noneFound. Only the counts of its own case are kept, so
    // equality is "same case, equal counts".
    class Result {
    public:
        enum class Kind {
            ejected,
            partialSuccess,
            stillBusy,
            noneFound,
        };

        // Default: noneFound.
        Result() = default;

        static Result ejected(std::int64_t count);
        static Result partialSuccess(std::int64_t ejected, std::int64_t stillBusy);
        static Result stillBusy(std::int64_t count);
        static Result noneFound();

        Kind kind() const { return m_kind; }
        // Present for ejected and partialSuccess.
        std::optional<std::int64_t> ejectedCount() const;
        // Present for partialSuccess and stillBusy.
        std::optional<std::int64_t> stillBusyCount() const;

        bool operator==(const Result&) const = default;

    private:
        Kind m_kind = Kind::noneFound;
        std::int64_t m_ejectedCount = 0;
        std::int64_t m_stillBusyCount = 0;
    };

    Result result;

    // One line describing the outcome ("2 drives ejected, 1 drive still busy").
    std::string text() const;
    // True when the attempt left drives in use (partialSuccess, stillBusy).
    bool hasBusyResult() const;

    bool operator==(const LastActionSummary&) const = default;
};

// Persisted kind ("ejected", "partialSuccess", "stillBusy", "noneFound").
std::string toString(LastActionSummary::Result::Kind kind);
std::optional<LastActionSummary::Result::Kind>
lastActionResultKindFromString(std::string_view text);

} // namespace berthkeep
