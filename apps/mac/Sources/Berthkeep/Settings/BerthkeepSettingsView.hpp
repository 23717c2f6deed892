#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"

class QScrollArea;

namespace berthkeep {

class BerthkeepStore;
class SettingsAboutCard;
class SettingsExcludedDrivesCard;
class SettingsFullMonitoringCard;
class SettingsGeneralCard;
class SettingsPrivacyCard;

// The whole settings page: a header and five cards on a scrolling page, 720 x
// 620 when the screen has room and down to 480 x 360 when the user narrows it;
// below that it scrolls both ways. It keeps no state: every store change redraws
// it on the next turn of the event loop, and every switch hands its value to the
// store at once.
class BerthkeepSettingsView final : public QWidget {
public:
    static constexpr int pageWidth = 720;
    static constexpr int pageHeight = 620;
    static constexpr int minimumPageWidth = 480;
    static constexpr int minimumPageHeight = 360;

    // The store outlives the page.
    BerthkeepSettingsView(BerthkeepStore& store, bool isUpdateCheckAvailable,
                          std::function<void()> onCheckForUpdates, QString appVersion,
                          QString buildNumber, QWidget* parent = nullptr);

    // "Version 1.4 (57)".
    QString appVersionDisplayText() const;
    // Excluded drives first, then managed ones; each group in natural name order,
    // equal names in the store's order.
    static std::vector<DetectedDrive>
    orderedDetectedDrivesForExclusion(std::vector<DetectedDrive> drives);

    // Reads everything from the store again.
    void refresh();

    QScrollArea* scrollArea() const { return m_scrollArea; }
    SettingsGeneralCard* generalCard() const { return m_generalCard; }
    SettingsFullMonitoringCard* fullMonitoringCard() const { return m_fullMonitoringCard; }
    SettingsExcludedDrivesCard* excludedDrivesCard() const { return m_excludedDrivesCard; }
    SettingsPrivacyCard* privacyCard() const { return m_privacyCard; }
    SettingsAboutCard* aboutCard() const { return m_aboutCard; }

private:
    QWidget* makeHeader();
    void scheduleRefresh();

    BerthkeepStore& m_store;
    QString m_appVersion;
    QString m_buildNumber;
    bool m_refreshScheduled = false;
    QScrollArea* m_scrollArea;
    SettingsGeneralCard* m_generalCard;
    SettingsFullMonitoringCard* m_fullMonitoringCard;
    SettingsExcludedDrivesCard* m_excludedDrivesCard;
    SettingsPrivacyCard* m_privacyCard;
    SettingsAboutCard* m_aboutCard;
};

} // namespace berthkeep
