#include "BerthkeepReliabilityHarness/LandingScreenshotCatalogView.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "BerthkeepReliabilityHarness/HarnessCardFrame.hpp"
#include "BerthkeepReliabilityHarness/HarnessText.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotSlot.hpp"
#include "BerthkeepReliabilityHarness/MenuPreviewSurface.hpp"

namespace berthkeep {

namespace {

constexpr int minimumColumnWidth = 360;
constexpr int maximumColumnWidth = 420;
constexpr int gridSpacing = 20;
constexpr int previewMenuWidth = 320;

QVBoxLayout* cardLayout(HarnessCardFrame* card, int spacing) {
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(spacing);
    return layout;
}

// A small mark painted from the palette, so it follows the appearance.
class BulletMark final : public QWidget {
public:
    explicit BulletMark(bool check, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_check(check) {
        setFixedSize(m_check ? 12 : 5, m_check ? 14 : 11);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = palette().color(QPalette::PlaceholderText);
        if (!m_check) {
            color.setAlphaF(color.alphaF() * 0.5);
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(QRectF(0, 6, 5, 5));
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        const QRectF circle(0, 2, 12, 12);
        painter.drawEllipse(circle);
        painter.setPen(
            QPen(palette().color(QPalette::Base), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[] = {{3.2, 8.2}, {5.3, 10.3}, {8.8, 5.8}};
        painter.drawPolyline(tick, 3);
    }

private:
    bool m_check;
};

QLayout* bulletRow(const QString& text, bool check) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new BulletMark(check), 0, Qt::AlignTop);
    row->addWidget(
        harnessLabel(text, HarnessTextStyle::caption, {.secondary = true, .wraps = true}), 1);
    return row;
}

QWidget* slotCard(LandingScreenshotSlot slot, const MenuContentFactory& menuContent) {
    auto* card = new HarnessCardFrame(18, HarnessCardFrame::Fill::underPage);
    card->setObjectName(QString::fromStdString(rawValue(slot)));
    card->setMinimumWidth(minimumColumnWidth);
    card->setMaximumWidth(maximumColumnWidth);
    QVBoxLayout* layout = cardLayout(card, 16);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(6);
    titles->addWidget(harnessLabel(QString::fromStdString(label(slot)).toUpper(),
                                   HarnessTextStyle::caption,
                                   {.weight = QFont::DemiBold, .secondary = true}));
    titles->addWidget(harnessLabel(headline(slot), HarnessTextStyle::headline));
    titles->addWidget(
        harnessLabel(note(slot), HarnessTextStyle::callout, {.secondary = true, .wraps = true}));
    layout->addLayout(titles);

    QWidget* menu = menuContent(state(previewScenario(slot)), ignoringMenuCallbacks(), nullptr);
    menu->setFixedWidth(previewMenuWidth);
    auto* preview = new QHBoxLayout;
    preview->setContentsMargins(0, 0, 0, MenuPreviewSurface::shadowReach);
    preview->addWidget(new MenuPreviewSurface(menu, MenuPreviewSurface::Width::stretches));
    layout->addLayout(preview);

    auto* facts = new QVBoxLayout;
    facts->setSpacing(8);
    facts->addWidget(harnessLabel(QStringLiteral("\u25A3 apps/landing/public/screenshots/") +
                                      QString::fromStdString(fileName(slot)),
                                  HarnessTextStyle::caption,
                                  {.monospaced = true, .elides = true, .selectable = true}));
    facts->addWidget(harnessLabel(QStringLiteral("Desired content"), HarnessTextStyle::subheadline,
                                  {.weight = QFont::DemiBold}));
    for (const std::string& entry : desiredContents(slot)) {
        facts->addLayout(bulletRow(QString::fromStdString(entry), false));
    }
    layout->addLayout(facts);
    return card;
}

QWidget* captureRulesCard(const std::vector<QString>& rules) {
    auto* card = new HarnessCardFrame(18, HarnessCardFrame::Fill::underPage);
    QVBoxLayout* layout = cardLayout(card, 12);
    layout->addWidget(harnessLabel(QStringLiteral("Capture Rules"), HarnessTextStyle::headline));
    layout->addWidget(harnessLabel(
        QStringLiteral("These are copied from SCREENSHOTS.md so the Harness doubles as a capture "
                       "checklist."),
        HarnessTextStyle::callout, {.secondary = true, .wraps = true}));
    for (const QString& rule : rules) {
        layout->addLayout(bulletRow(rule, true));
    }
    return card;
}

} // namespace

LandingScreenshotCatalogView::LandingScreenshotCatalogView(MenuContentFactory menuContent,
                                                           ExporterFactory makeExporter,
                                                           QWidget* parent)
    : QScrollArea(parent)
    , m_menuContent(std::move(menuContent))
    , m_makeExporter(std::move(makeExporter)) {
    if (!m_makeExporter) {
        m_makeExporter = [menu = m_menuContent] {
            return LandingScreenshotExporter(menu);
        };
    }
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Window);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(24);
    column->addWidget(makeHeader());
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(gridSpacing);
    m_grid->setVerticalSpacing(gridSpacing);
    for (const LandingScreenshotSlot slot : allLandingScreenshotSlots) {
        m_cards.push_back(slotCard(slot, m_menuContent));
    }
    column->addLayout(m_grid);
    column->addWidget(captureRulesCard(captureRules()));
    column->addStretch(1);
    setWidget(content);
    layOutCards();
}

const std::vector<QString>& LandingScreenshotCatalogView::captureRules() {
    static const std::vector<QString> rules{
        QStringLiteral("menubar popup 単体を切り出す"),
        QStringLiteral("余計な desktop 背景は入れない"),
        QStringLiteral("light appearance ベース"),
        QStringLiteral("ぼけた縮小より、文字が読める解像度を優先する"),
        QStringLiteral("影は macOS 標準のままでよい"),
        QStringLiteral("画像比率は厳密に合わせなくてよい。LP 側で丸めと crop を行う"),
    };
    return rules;
}

QWidget* LandingScreenshotCatalogView::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(20);

    auto* text = new QVBoxLayout;
    text->setSpacing(8);
    text->addWidget(harnessLabel(QStringLiteral("Landing Screenshot Catalog"),
                                 HarnessTextStyle::title3, {.weight = QFont::DemiBold}));
    text->addWidget(harnessLabel(
        QStringLiteral("Mock the four screenshots referenced by apps/landing/SCREENSHOTS.md so "
                       "they can be captured directly from the Harness window."),
        HarnessTextStyle::callout, {.secondary = true, .wraps = true}));
    m_exportMessage = harnessLabel(QString(), HarnessTextStyle::caption,
                                   {.secondary = true, .wraps = true, .selectable = true});
    m_exportMessage->hide();
    text->addWidget(m_exportMessage);
    m_exportErrorMessage = harnessLabel(QString(), HarnessTextStyle::caption, {.wraps = true});
    QPalette red = m_exportErrorMessage->palette();
    red.setColor(QPalette::WindowText, QColor(0xff, 0x3b, 0x30));
    m_exportErrorMessage->setPalette(red);
    m_exportErrorMessage->hide();
    text->addWidget(m_exportErrorMessage);
    text->addStretch(1);
    row->addLayout(text, 1);
    row->addSpacing(20);

    auto* actions = new QVBoxLayout;
    actions->setSpacing(8);
    auto* exportButton = new QPushButton(QStringLiteral("Export PNGs"));
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCatalogScreenshots(); });
    actions->addWidget(exportButton, 0, Qt::AlignRight);
    QLabel* where =
        harnessLabel(QStringLiteral("Writes light-mode PNGs to apps/landing/public/screenshots/"),
                     HarnessTextStyle::caption, {.secondary = true});
    where->setAlignment(Qt::AlignRight);
    actions->addWidget(where, 0, Qt::AlignRight);
    actions->addStretch(1);
    row->addLayout(actions);
    return header;
}

void LandingScreenshotCatalogView::exportCatalogScreenshots() {
    try {
        const LandingScreenshotExportResult result = m_makeExporter().exportAll();
        m_exportErrorMessage->clear();
        m_exportErrorMessage->hide();
        m_exportMessage->setText(QStringLiteral("Exported %1 PNGs to %2")
                                     .arg(result.files.size())
                                     .arg(QString::fromStdString(result.directory.string())));
        m_exportMessage->show();
    } catch (const std::exception& error) {
        m_exportMessage->clear();
        m_exportMessage->hide();
        m_exportErrorMessage->setText(QString::fromStdString(error.what()));
        m_exportErrorMessage->show();
    }
}

QString LandingScreenshotCatalogView::exportMessage() const {
    return m_exportMessage->isHidden() ? QString() : m_exportMessage->text();
}

QString LandingScreenshotCatalogView::exportErrorMessage() const {
    return m_exportErrorMessage->isHidden() ? QString() : m_exportErrorMessage->text();
}

void LandingScreenshotCatalogView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    layOutCards();
}

// As many columns as fit at their narrowest, the way an adaptive grid fills.
void LandingScreenshotCatalogView::layOutCards() {
    const int available = viewport()->width();
    const int columns = std::max(1, (available + gridSpacing) / (minimumColumnWidth + gridSpacing));
    if (columns == m_columns) {
        return;
    }
    m_columns = columns;
    for (QWidget* card : m_cards) {
        m_grid->removeWidget(card);
    }
    for (int column = 0; column <= static_cast<int>(m_cards.size()); ++column) {
        m_grid->setColumnStretch(column, 0);
    }
    for (std::size_t index = 0; index < m_cards.size(); ++index) {
        m_grid->addWidget(m_cards[index], static_cast<int>(index) / columns,
                          static_cast<int>(index) % columns, Qt::AlignTop);
    }
    // Columns stop at their widest; the rest of the row stays empty.
    m_grid->setColumnStretch(columns, 1);
}

} // namespace berthkeep
