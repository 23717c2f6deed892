#pragma once

#include <exception>

namespace berthkeep {

// What one drive's eject came to, as the inventory refreshed after it shows it.
enum class EjectOutcome {
    ejected,
    // Pulled out: neither ejected nor busy, and nothing to bring back after a wake.
    notAttached,
    // Still there and mounted: busy.
    stillMounted,
};

// `failure` is what the eject threw (null when it returned). A drive the
// inventory no longer lists was pulled out when its command failed because the
// disk was gone; otherwise it went down (a device eject takes the disk off the
// list, a time-out may lose the race to the tool). One still listed is ejected
// once unmounted. The coordinator's attempts and the card's single eject both
// decide by this.
EjectOutcome settledEjectOutcome(const std::exception_ptr& failure, bool listed, bool mounted);

} // namespace berthkeep
