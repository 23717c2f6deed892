#pragma once

namespace berthkeep {

// How much of a drive an eject removes: `device` ejects the drive's whole eject
// target (every eject the store starts); `volume` unmounts only its own volume.
enum class DriveEjectMode {
    volume,
    device,
};

} // namespace berthkeep
