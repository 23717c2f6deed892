#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace berthkeep {

// A one-line status word on a tinted capsule; a label too long for the space
// offered is cut with an ellipsis.
class SettingsStatusPill final : public QWidget {
public:
    SettingsStatusPill(QString label, QColor tint, QWidget* parent = nullptr);

    const QString& label() const { return m_label; }
    const QColor& tint() const { return m_tint; }
    void setLabel(const QString& label, const QColor& tint);
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_label;
    QColor m_tint;
};

} // namespace berthkeep
