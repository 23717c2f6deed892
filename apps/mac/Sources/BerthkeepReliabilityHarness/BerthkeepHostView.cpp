#include "BerthkeepReliabilityHarness/BerthkeepHostView.hpp"

#include <QHBoxLayout>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "BerthkeepReliabilityHarness/HarnessText.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotCatalogView.hpp"
#include "BerthkeepReliabilityHarness/LiveReviewSurface.hpp"
#include "BerthkeepReliabilityHarness/SegmentedPicker.hpp"

namespace berthkeep {

namespace {

constexpr BerthkeepHostView::HarnessTab allTabs[] = {
    BerthkeepHostView::HarnessTab::liveReview,
    BerthkeepHostView::HarnessTab::screenshotCatalog,
};

} // namespace

BerthkeepHostView::BerthkeepHostView(BerthkeepStore& store, std::function<void()> onOpenSettings,
                                     MenuContentFactory menuContent, QWidget* parent)
    : QWidget(parent)
    , m_menuContent(std::move(menuContent)) {
    setWindowTitle(QString::fromLatin1(harnessWindowTitle));
    setMinimumSize(minimumWindowSize);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    column->addWidget(makeToolbar());
    m_tabs = new QStackedWidget(this);
    m_liveReview = new LiveReviewSurface(store, m_menuContent, std::move(onOpenSettings), m_tabs);
    m_tabs->addWidget(m_liveReview);
    column->addWidget(m_tabs, 1);
}

QString BerthkeepHostView::title(HarnessTab tab) {
    return tab == HarnessTab::liveReview ? QStringLiteral("Live Harness")
                                         : QStringLiteral("Screenshot Catalog");
}

QWidget* BerthkeepHostView::makeToolbar() {
    auto* toolbar = new QWidget(this);
    auto* column = new QVBoxLayout(toolbar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto* row = new QHBoxLayout;
    row->setSpacing(20);
    auto* intro = new QVBoxLayout;
    intro->setSpacing(6);
    intro->addWidget(harnessLabel(QStringLiteral("Berthkeep Harness"), HarnessTextStyle::title2,
                                  {.weight = QFont::DemiBold}));
    intro->addWidget(harnessLabel(
        QStringLiteral("Use the live review surface for real drive states, or switch to the "
                       "screenshot catalog to capture landing-page mock shots."),
        HarnessTextStyle::callout, {.secondary = true, .wraps = true}));
    row->addLayout(intro, 1);
    row->addSpacing(20);

    auto* appearance = new QVBoxLayout;
    appearance->setSpacing(8);
    appearance->addWidget(
        harnessLabel(QStringLiteral("Window appearance"), HarnessTextStyle::headline));
    QStringList modes;
    for (const HarnessAppearanceMode mode : allHarnessAppearanceModes) {
        modes << QString::fromStdString(berthkeep::title(mode));
    }
    m_appearancePicker = new SegmentedPicker(QStringLiteral("Window appearance"), modes, toolbar);
    m_appearancePicker->setFixedWidth(280);
    m_appearancePicker->onChanged([this](int index) {
        setHarnessAppearance(allHarnessAppearanceModes[static_cast<std::size_t>(index)]);
    });
    appearance->addWidget(m_appearancePicker);
    row->addLayout(appearance);
    column->addLayout(row);

    QStringList tabs;
    for (const HarnessTab tab : allTabs) {
        tabs << title(tab);
    }
    m_tabPicker = new SegmentedPicker(QStringLiteral("Harness section"), tabs, toolbar);
    m_tabPicker->onChanged([this](int index) { setHarnessTab(allTabs[index]); });
    column->addWidget(m_tabPicker);
    return toolbar;
}

void BerthkeepHostView::setHarnessTab(HarnessTab tab) {
    m_harnessTab = tab;
    m_tabPicker->setCurrentIndex(static_cast<int>(tab));
    if (tab == HarnessTab::screenshotCatalog && !m_catalog) {
        m_catalog = new LandingScreenshotCatalogView(m_menuContent, {}, m_tabs);
        m_tabs->addWidget(m_catalog);
    }
    m_tabs->setCurrentWidget(tab == HarnessTab::liveReview ? static_cast<QWidget*>(m_liveReview)
                                                           : static_cast<QWidget*>(m_catalog));
    if (tab == HarnessTab::liveReview) {
        m_liveReview->refresh();
    }
}

void BerthkeepHostView::setHarnessAppearance(HarnessAppearanceMode mode) {
    m_harnessAppearance = mode;
    m_appearancePicker->setCurrentIndex(static_cast<int>(mode));
    // An empty palette resolves nothing, so the view follows its window again.
    setPalette(harnessPalette(mode).value_or(QPalette()));
    QTimer::singleShot(0, this, [this] { applyWindowAppearance(); });
}

void BerthkeepHostView::applyWindowAppearance() {
    QWidget* host = window();
    if (host == this) {
        return;
    }
    host->setPalette(harnessPalette(m_harnessAppearance).value_or(QPalette()));
}

} // namespace berthkeep
