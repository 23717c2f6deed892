#pragma once

#include <QScrollArea>

#include <functional>
#include <vector>

#include "BerthkeepReliabilityHarness/LandingScreenshotExporter.hpp"
#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"

class QGridLayout;
class QLabel;

namespace berthkeep {

// The "Screenshot Catalog" tab: one card per landing-page screenshot with its
// sample menu and what the capture must show, the capture rules, and "Export
// PNGs", which writes them all at once (synchronously: the window waits).
// Menus here only show their state; clicks in them do nothing.
class LandingScreenshotCatalogView final : public QScrollArea {
public:
    using ExporterFactory = std::function<LandingScreenshotExporter()>;

    // Without an exporter factory the export goes to the checkout's screenshot folder.
    explicit LandingScreenshotCatalogView(MenuContentFactory menuContent,
                                          ExporterFactory makeExporter = {},
                                          QWidget* parent = nullptr);

    static const std::vector<QString>& captureRules();

    // The export button's action.
    void exportCatalogScreenshots();

    // Present after the last export succeeded or failed respectively.
    QString exportMessage() const;
    QString exportErrorMessage() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeHeader();
    void layOutCards();

    MenuContentFactory m_menuContent;
    ExporterFactory m_makeExporter;
    QLabel* m_exportMessage = nullptr;
    QLabel* m_exportErrorMessage = nullptr;
    QGridLayout* m_grid = nullptr;
    std::vector<QWidget*> m_cards;
    int m_columns = 0;
};

} // namespace berthkeep
