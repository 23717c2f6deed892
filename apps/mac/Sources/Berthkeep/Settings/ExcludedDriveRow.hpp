#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

class SettingsSwitch;

// One drive in the Excluded Drives card: its name and status word, where it is
// mounted, what exclusion means for it, and the switch that excludes it.
class ExcludedDriveRow final : public QWidget {
public:
    // Called with the value chosen: true excludes the drive, false manages it.
    using ToggleExcluded = std::function<void(bool)>;

    ExcludedDriveRow(DetectedDrive drive, ToggleExcluded onToggleExcluded,
                     QWidget* parent = nullptr);

    const DetectedDrive& drive() const { return m_drive; }
    SettingsSwitch* toggle() const { return m_switch; }

    bool isExcluded() const { return m_drive.scope() == DetectedDrive::Scope::excluded; }
    // The mount path, or "Not mounted".
    QString subtitle() const;
    // "Excluded" or "Managed".
    QString statusText() const;
    QString descriptionText() const;
    QString toggleHelp() const;
    QColor statusForeground() const;
    QColor statusBackgroundColor() const;

private:
    DetectedDrive m_drive;
    ToggleExcluded m_onToggleExcluded;
    SettingsSwitch* m_switch;
};

} // namespace berthkeep
