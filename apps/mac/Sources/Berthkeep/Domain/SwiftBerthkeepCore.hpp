#pragma once

#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace berthkeep {

// The program's own decision core: stateless, every call a pure function of its
// input. The default core, and the answer the library-backed core falls back to.
class SwiftBerthkeepCore final : public BerthkeepCoreHandling {
public:
    SwiftBerthkeepCore() = default;

    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override;
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override;
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput& input) override;

    // "1 excluded drive not managed automatically", "2 excluded drives ...";
    // nothing without excluded drives. The one wording of this note: the menu
    // state builder and the preview states use it too, so equal notes de-duplicate.
    static std::optional<std::string> scopeNote(std::int64_t excludedDriveCount);
};

} // namespace berthkeep
