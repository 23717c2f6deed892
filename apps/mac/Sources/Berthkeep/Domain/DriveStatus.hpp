#pragma once

#include <string>

namespace berthkeep {

// Status of one drive row.
enum class DriveStatus {
    connected,
    safe,
    busy,
    ejecting,
    mounting,
    notMounted,
    excluded,
};

// Display name ("Still in use", "Not managed", ...).
std::string label(DriveStatus status);

// Lower sorts first in the drive list: rows that need the user come on top.
int sortPriority(DriveStatus status);

} // namespace berthkeep
