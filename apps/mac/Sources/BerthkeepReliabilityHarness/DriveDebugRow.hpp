#pragma once

#include <string>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "BerthkeepReliabilityHarness/HarnessCardFrame.hpp"

namespace berthkeep {

// One detected drive in the harness's drive list: name, mount path, what kind
// of volume it is, its scope, and whether an eject attempt is working on it.
class DriveDebugRow final : public HarnessCardFrame {
public:
    DriveDebugRow(const DetectedDrive& drive, bool isWorking, QWidget* parent = nullptr);

    // "Connected but not mounted", "Mounted ejectable volume" or
    // "Mounted non-ejectable volume".
    static std::string debugSubtitle(const DetectedDrive& drive);
};

} // namespace berthkeep
