#pragma once

#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Settings/SettingsSectionView.hpp"

namespace berthkeep {

class BerthkeepStore;
class ExcludedDriveRow;
class SettingsInfoText;

// Every detected drive with a switch that excludes it from automation:
// excluded drives first, then managed ones, each group by name.
class SettingsExcludedDrivesCard final : public SettingsSectionView {
public:
    // The store outlives the card.
    explicit SettingsExcludedDrivesCard(BerthkeepStore& store, QWidget* parent = nullptr);

    // Rebuilds the rows only when the ordered drives changed, so a redraw for
    // another reason keeps focus and selection.
    void refresh();

    const std::vector<ExcludedDriveRow*>& rows() const { return m_rows; }
    int dividerCount() const { return m_dividerCount; }
    SettingsInfoText* emptyNote() const { return m_emptyNote; }

private:
    BerthkeepStore& m_store;
    SettingsInfoText* m_emptyNote;
    QVBoxLayout* m_rowsLayout;
    std::vector<ExcludedDriveRow*> m_rows;
    std::vector<DetectedDrive> m_shownDrives;
    int m_dividerCount = 0;
};

} // namespace berthkeep
