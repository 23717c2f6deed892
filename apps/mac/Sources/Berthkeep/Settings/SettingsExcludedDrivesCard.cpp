#include "Berthkeep/Settings/SettingsExcludedDrivesCard.hpp"

#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/ExcludedDriveRow.hpp"
#include "Berthkeep/Settings/SettingsDivider.hpp"
#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

SettingsExcludedDrivesCard::SettingsExcludedDrivesCard(BerthkeepStore& store, QWidget* parent)
    : SettingsSectionView("Excluded Drives", "externaldrive.fill",
                          "Choose which external drives Berthkeep manages.",
                          SettingsPalette::green(), parent)
    , m_store(store)
    , m_emptyNote(
          new SettingsInfoText("Connect an external drive to choose whether Berthkeep manages it."))
    , m_rowsLayout(new QVBoxLayout) {
    QVBoxLayout* content = contentLayout();
    auto* intro = new SettingsInfoText(
        "Choose external drives Berthkeep should ignore. Excluded drives stay visible, but "
        "Berthkeep will not eject, remount, or monitor them automatically.");
    intro->setContentsMargins(16, 14, 16, 12);
    content->addWidget(intro);
    m_emptyNote->setContentsMargins(16, 0, 16, 14);
    content->addWidget(m_emptyNote);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    content->addLayout(m_rowsLayout);
    refresh();
}

void SettingsExcludedDrivesCard::refresh() {
    auto drives =
        BerthkeepSettingsView::orderedDetectedDrivesForExclusion(m_store.detectedDrives());
    m_emptyNote->setVisible(drives.empty());
    if (drives == m_shownDrives && m_rows.size() == drives.size()) {
        return;
    }
    while (QLayoutItem* item = m_rowsLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater(); // a row may be inside its own click
        }
        delete item;
    }
    m_rows.clear();
    m_dividerCount = 0;
    for (std::size_t index = 0; index < drives.size(); ++index) {
        const std::string driveID = drives[index].id();
        auto* row = new ExcludedDriveRow(drives[index], [this, driveID](bool excluded) {
            // Looked up again: the row's copy may be older than the store's drive.
            for (const DetectedDrive& drive : m_store.detectedDrives()) {
                if (drive.id() == driveID) {
                    m_store.setExcluded(excluded, drive);
                    return;
                }
            }
        });
        m_rows.push_back(row);
        m_rowsLayout->addWidget(row);
        if (index + 1 < drives.size()) {
            m_rowsLayout->addWidget(new SettingsDivider);
            ++m_dividerCount;
        }
    }
    m_shownDrives = std::move(drives);
}

} // namespace berthkeep
