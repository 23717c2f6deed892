#pragma once

#include <functional>

#include "Berthkeep/Settings/SettingsSectionView.hpp"

class QLabel;
class QPushButton;

namespace berthkeep {

// The name, version and build, and the update check when an updater exists.
class SettingsAboutCard final : public SettingsSectionView {
public:
    SettingsAboutCard(const QString& appVersionDisplayText, bool isUpdateCheckAvailable,
                      std::function<void()> onCheckForUpdates, QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_versionLabel; }
    // Null when no update check is available.
    QPushButton* checkForUpdatesButton() const { return m_checkForUpdatesButton; }

private:
    QLabel* m_versionLabel;
    QPushButton* m_checkForUpdatesButton = nullptr;
};

} // namespace berthkeep
