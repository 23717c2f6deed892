#pragma once

#include <QPainterPath>
#include <QTimer>
#include <QWidget>

#include "Berthkeep/Domain/TransientActionStatus.hpp"

namespace berthkeep {

// What the status panel shows: a 236 x 68 card with the tone's round icon (a
// spinner, a check mark or an exclamation mark), the title and the optional
// detail, each on one line cut short with an ellipsis, and for a result a thin
// accent line along the bottom. With a shadow the widget is the card plus a
// translucent margin on every side for it; without, it is the opaque card
// alone. The panel window is sized to this widget.
class TransientActionStatusPanelView : public QWidget {
public:
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
    // The texts as drawn: elided to the width they have.
    QString displayedTitle() const;
    QString displayedDetail() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor toneColor() const;
    QFont fontOfSize(qreal pixels, QFont::Weight weight) const;
    QRectF textRect() const;
    void updateSpinner();
    void drawShadow(QPainter& painter) const;
    void drawStatusIcon(QPainter& painter, const QRectF& area) const;

    TransientActionStatus m_status;
    bool m_drawsShadow;
    QTimer m_spinnerTimer;
    int m_spinnerStep = 0;
};

} // namespace berthkeep
