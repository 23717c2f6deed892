#pragma once

namespace berthkeep {

// How much of a drive an eject removes: `device` ejects the drive's whole eject
// target (the store's ejects, except on a disk that also holds a volume the user
// excluded); `volume` unmounts only its own volume.
enum class DriveEjectMode {
    volume,
    device,
};

} // namespace berthkeep
