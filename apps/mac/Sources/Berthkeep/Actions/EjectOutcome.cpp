#include "Berthkeep/Actions/EjectOutcome.hpp"

#include "Berthkeep/Actions/DriveOperationError.hpp"

namespace berthkeep {

EjectOutcome settledEjectOutcome(const std::exception_ptr& failure, bool listed, bool mounted) {
    if (!listed && DriveOperationError::isNoLongerAttached(failure)) {
        return EjectOutcome::notAttached;
    }
    return listed && mounted ? EjectOutcome::stillMounted : EjectOutcome::ejected;
}

} // namespace berthkeep
