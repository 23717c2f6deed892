#pragma once

namespace berthkeep {

// The actions of a drive group card.
enum class DriveGroupActionKind {
    mountAll,
    ejectAll,
};

} // namespace berthkeep
