#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Settings/SettingsCardFrame.hpp"
#include "Berthkeep/Settings/SettingsExcludedDrivesCard.hpp"
#include "Berthkeep/Settings/SettingsFullMonitoringCard.hpp"
#include "Berthkeep/Settings/SettingsGeneralCard.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsPrivacyCard.hpp"
#include "Berthkeep/Settings/SettingsStatusPill.hpp"
#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"
#include "Berthkeep/Settings/SettingsWindowBackground.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepShared/NaturalNameOrder.hpp"

namespace berthkeep {

BerthkeepSettingsView::BerthkeepSettingsView(BerthkeepStore& store, bool isUpdateCheckAvailable,
                                             std::function<void()> onCheckForUpdates,
                                             QString appVersion, QString buildNumber,
                                             QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_appVersion(std::move(appVersion))
    , m_buildNumber(std::move(buildNumber)) {
    resize(pageWidth, pageHeight);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    auto* background = new SettingsWindowBackground;
    frame->addWidget(background);
    auto* backgroundLayout = new QVBoxLayout(background);
    backgroundLayout->setContentsMargins(0, 0, 0, 0);

    m_scrollArea = new QScrollArea;
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // The page draws on the window's backdrop.
    m_scrollArea->setAutoFillBackground(false);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    backgroundLayout->addWidget(m_scrollArea);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(28, 24, 28, 24);
    stack->setSpacing(18);
    m_generalCard = new SettingsGeneralCard(store);
    m_fullMonitoringCard = new SettingsFullMonitoringCard(store);
    m_excludedDrivesCard = new SettingsExcludedDrivesCard(store);
    m_privacyCard = new SettingsPrivacyCard(store);
    m_aboutCard = new SettingsAboutCard(appVersionDisplayText(), isUpdateCheckAvailable,
                                        std::move(onCheckForUpdates));
    stack->addWidget(makeHeader());
    stack->addWidget(m_generalCard);
    stack->addWidget(m_fullMonitoringCard);
    stack->addWidget(m_excludedDrivesCard);
    stack->addWidget(m_privacyCard);
    stack->addWidget(m_aboutCard);
    stack->addStretch(1);
    m_scrollArea->setWidget(page);

    connect(&store, &BerthkeepStore::objectWillChange, this, [this] { scheduleRefresh(); });
}

QWidget* BerthkeepSettingsView::makeHeader() {
    auto* header = new SettingsCardFrame;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(14);
    row->addWidget(new SettingsSymbolBadge("externaldrive.connected.to.line.below",
                                           SettingsPalette::accent(palette()), 34),
                   0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(new SettingsText("Berthkeep", SettingsTypography::title3Semibold(),
                                      SettingsText::Style::primary, 1));
    texts->addWidget(new SettingsText("External drive safety for this Mac.",
                                      SettingsTypography::callout(), SettingsText::Style::secondary,
                                      2));
    row->addLayout(texts, 1);
    row->addSpacing(16);
    row->addWidget(new SettingsStatusPill("Protection on", SettingsPalette::green()), 0,
                   Qt::AlignVCenter);
    return header;
}

QString BerthkeepSettingsView::appVersionDisplayText() const {
    return QStringLiteral("Version %1 (%2)").arg(m_appVersion, m_buildNumber);
}

std::vector<DetectedDrive>
BerthkeepSettingsView::orderedDetectedDrivesForExclusion(std::vector<DetectedDrive> drives) {
    std::vector<DetectedDrive> excluded;
    std::vector<DetectedDrive> managed;
    for (DetectedDrive& drive : drives) {
        (drive.scope() == DetectedDrive::Scope::excluded ? excluded : managed)
            .push_back(std::move(drive));
    }
    const NaturalNameOrder order;
    const auto nameOf = [](const DetectedDrive& drive) {
        return drive.name();
    };
    std::vector<DetectedDrive> ordered = order.sorted(std::move(excluded), nameOf);
    for (DetectedDrive& drive : order.sorted(std::move(managed), nameOf)) {
        ordered.push_back(std::move(drive));
    }
    return ordered;
}

void BerthkeepSettingsView::refresh() {
    m_refreshScheduled = false;
    m_generalCard->refresh();
    m_fullMonitoringCard->refresh();
    m_excludedDrivesCard->refresh();
    m_privacyCard->refresh();
}

void BerthkeepSettingsView::scheduleRefresh() {
    // The store announces a change before making it: read once it is made, and
    // once for a burst of changes.
    if (m_refreshScheduled) {
        return;
    }
    m_refreshScheduled = true;
    QTimer::singleShot(0, this, [this] {
        if (m_refreshScheduled) {
            refresh();
        }
    });
}

} // namespace berthkeep
