#pragma once

namespace berthkeep {

// How much of a row's status the drive list shows.
enum class DriveStatusVisibility {
    activity,
    neutral,
    hidden,
};

} // namespace berthkeep
