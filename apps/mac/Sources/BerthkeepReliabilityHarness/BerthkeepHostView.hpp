#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepReliabilityHarness/HarnessAppearanceMode.hpp"
#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"

class QStackedWidget;

namespace berthkeep {

class LandingScreenshotCatalogView;
class LiveReviewSurface;
class SegmentedPicker;

// The content of the "Berthkeep Reliability Harness" window: a toolbar with
// the window-appearance and section pickers over either the live review of
// the store or the screenshot catalog. Each window starts on the live review
// with the system appearance; neither choice is kept.
class BerthkeepHostView final : public QWidget {
public:
    enum class HarnessTab {
        liveReview,
        screenshotCatalog,
    };

    static constexpr const char* harnessWindowTitle = "Berthkeep Reliability Harness";
    static constexpr QSize minimumWindowSize{760, 520};

    // The store and the settings action belong to the composition root and
    // outlive the view; the factory draws the product's menu.
    BerthkeepHostView(BerthkeepStore& store, std::function<void()> onOpenSettings,
                      MenuContentFactory menuContent, QWidget* parent = nullptr);

    HarnessTab harnessTab() const { return m_harnessTab; }
    HarnessAppearanceMode harnessAppearance() const { return m_harnessAppearance; }
    void setHarnessTab(HarnessTab tab);
    void setHarnessAppearance(HarnessAppearanceMode mode);

    // "Live Harness", "Screenshot Catalog".
    static QString title(HarnessTab tab);

    LiveReviewSurface* liveReview() const { return m_liveReview; }
    // Made the first time its tab is shown.
    LandingScreenshotCatalogView* catalog() const { return m_catalog; }

private:
    QWidget* makeToolbar();
    // The window follows on the next event-loop turn, once the view sits in one.
    void applyWindowAppearance();

    MenuContentFactory m_menuContent;
    HarnessTab m_harnessTab = HarnessTab::liveReview;
    HarnessAppearanceMode m_harnessAppearance = HarnessAppearanceMode::system;
    SegmentedPicker* m_appearancePicker = nullptr;
    SegmentedPicker* m_tabPicker = nullptr;
    QStackedWidget* m_tabs = nullptr;
    LiveReviewSurface* m_liveReview = nullptr;
    LandingScreenshotCatalogView* m_catalog = nullptr;
};

} // namespace berthkeep
