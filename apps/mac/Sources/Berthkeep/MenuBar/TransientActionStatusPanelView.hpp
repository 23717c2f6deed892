#pragma once

#include <QPainterPath>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "Berthkeep/Domain/TransientActionStatus.hpp"

namespace berthkeep {

// What the status panel shows: a card 236 wide with the tone's round icon (a
// spinner, a check mark or an exclamation mark), the title and the optional
// detail, and for a result a thin accent line along the bottom. The texts wrap
// and are never cut: the card is 68 high, taller when a desktop font needs more
// lines. With a shadow the widget is the card plus a translucent margin on
// every side for it; without, it is the opaque card alone. The panel window is
// sized to this widget, which sizes itself anew for each status and font.
class TransientActionStatusPanelView : public QWidget {
public:
    // The card's width and its least height.
    static constexpr QSize cardSize{236, 68};
    static constexpr int shadowMargin = 10;

    explicit TransientActionStatusPanelView(TransientActionStatus status, bool drawsShadow = true,
                                            QWidget* parent = nullptr);

    void setStatus(TransientActionStatus status);
    const TransientActionStatus& status() const { return m_status; }

    bool drawsShadow() const { return m_drawsShadow; }
    // Around the card on every side: shadowMargin with a shadow, else 0.
    int margin() const;
    // The card within the widget, and its rounded outline.
    QRect cardRect() const;
    QPainterPath cardShape() const;
    // The texts as drawn: wrapped to the width they have, a line break between lines.
    QString displayedTitle() const;
    QString displayedDetail() const;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor toneColor() const;
    QFont fontOfSize(qreal pixels, QFont::Weight weight) const;
    QFont titleFont() const { return fontOfSize(13, QFont::DemiBold); }
    QFont detailFont() const { return fontOfSize(11.5, QFont::Normal); }
    QRectF textRect() const;
    QStringList titleLines() const;
    QStringList detailLines() const;
    // The title and detail lines one under the other, with the gap between.
    qreal textStackHeight() const;
    // Grows or shrinks the card to what the status takes in the current font.
    void fitToTexts();
    void updateSpinner();
    void drawShadow(QPainter& painter) const;
    void drawStatusIcon(QPainter& painter, const QRectF& area) const;

    TransientActionStatus m_status;
    bool m_drawsShadow;
    QSize m_cardSize = cardSize;
    QTimer m_spinnerTimer;
    int m_spinnerStep = 0;
};

} // namespace berthkeep
