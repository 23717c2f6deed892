#pragma once

#include <optional>
#include <variant>

#include "Berthkeep/Domain/BerthkeepStateEvaluationInput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationOutput.hpp"
#include "Berthkeep/Domain/GlobalSafetyState.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"

namespace berthkeep {

// What one state rebuild shows: the core's judgement of the drives, or a fixed
// global state the store stands in with while Full Monitoring cannot be trusted
// yet. Equal when the case and its payload are equal.
class BerthkeepStorePresentationSource {
public:
    struct Blocked {
        GlobalSafetyState globalState;
        std::optional<LastActionSummary> lastAction;

        bool operator==(const Blocked&) const = default;
    };

    // Default: an evaluation with no drives.
    BerthkeepStorePresentationSource() = default;

    static BerthkeepStorePresentationSource evaluated(BerthkeepStateEvaluationOutput output) {
        return BerthkeepStorePresentationSource(std::move(output));
    }
    static BerthkeepStorePresentationSource blocked(GlobalSafetyState globalState,
                                                    std::optional<LastActionSummary> lastAction) {
        return BerthkeepStorePresentationSource(
            Blocked{std::move(globalState), std::move(lastAction)});
    }

    // The payload of the case it holds; null for the other one.
    const BerthkeepStateEvaluationOutput* evaluatedOutput() const {
        return std::get_if<BerthkeepStateEvaluationOutput>(&m_value);
    }
    const Blocked* blockedPresentation() const { return std::get_if<Blocked>(&m_value); }

    bool operator==(const BerthkeepStorePresentationSource&) const = default;

private:
    explicit BerthkeepStorePresentationSource(
        std::variant<BerthkeepStateEvaluationOutput, Blocked> value)
        : m_value(std::move(value)) {}

    std::variant<BerthkeepStateEvaluationOutput, Blocked> m_value;
};

} // namespace berthkeep
