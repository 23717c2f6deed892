#include "Berthkeep/Domain/DriveStatus.hpp"

namespace berthkeep {

std::string label(DriveStatus status) {
    switch (status) {
    case DriveStatus::connected:
        return "Connected";
    case DriveStatus::safe:
        return "Safe";
    case DriveStatus::busy:
        return "Still in use";
    case DriveStatus::ejecting:
        return "Ejecting";
    case DriveStatus::mounting:
        return "Mounting";
    case DriveStatus::notMounted:
        return "Not mounted";
    case DriveStatus::excluded:
        return "Not managed";
    }
    return {};
}

int sortPriority(DriveStatus status) {
    switch (status) {
    case DriveStatus::busy:
        return 0;
    case DriveStatus::ejecting:
        return 1;
    case DriveStatus::mounting:
        return 2;
    case DriveStatus::notMounted:
        return 3;
    case DriveStatus::connected:
        return 4;
    case DriveStatus::safe:
        return 5;
    case DriveStatus::excluded:
        return 6;
    }
    return 6;
}

} // namespace berthkeep
