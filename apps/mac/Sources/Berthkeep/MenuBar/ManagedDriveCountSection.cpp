#include "Berthkeep/MenuBar/ManagedDriveCountSection.hpp"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

#include "Berthkeep/MenuBar/MenuBarDivider.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/MenuBar/MenuBarSymbols.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"
#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

namespace berthkeep {

namespace {

// The drive symbol at the size a glyph of the icon font would have, leading in
// its fixed-width frame and centred on the line.
class DriveSymbolView final : public QWidget {
public:
    explicit DriveSymbolView(QWidget* parent)
        : QWidget(parent) {
        setObjectName("driveSymbol");
        setFixedWidth(MenuBarLayout::scopeRowIconFrameWidth);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(MenuBarTypography::systemFont(MenuBarLayout::scopeRowIconSize));
        return {MenuBarLayout::scopeRowIconFrameWidth,
                static_cast<int>(std::ceil(metrics.height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QFontMetricsF metrics(MenuBarTypography::systemFont(MenuBarLayout::scopeRowIconSize));
        const qreal height = metrics.capHeight() * 1.15;
        const qreal width = std::min<qreal>(height * aspectRatio(MenuBarSymbol::externalDrive),
                                            MenuBarLayout::scopeRowIconFrameWidth);
        const QRectF box(0, (this->height() - height) / 2.0, width, height);
        QPainter painter(this);
        drawSymbol(painter, MenuBarSymbol::externalDrive, box,
                   MenuBarPalette::scopeRowIcon(palette()));
    }
};

} // namespace

ManagedDriveCountSection::ManagedDriveCountSection(const std::string& text, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new MenuBarDivider(&MenuBarPalette::scopeRowSeparator, this));
    layout->addSpacing(MenuBarLayout::scopeRowContentTopSpacing);
    auto* row = new QHBoxLayout;
    row->setSpacing(MenuBarLayout::scopeRowSpacing);
    row->addWidget(new DriveSymbolView(this));
    m_text = new MenuBarText(QString::fromStdString(text), MenuBarTypography::scopeRow(),
                             &MenuBarPalette::scopeRow, 0, this);
    row->addWidget(m_text, 1);
    layout->addLayout(row);
}

void ManagedDriveCountSection::setText(const std::string& text) {
    m_text->setText(QString::fromStdString(text));
}

} // namespace berthkeep
