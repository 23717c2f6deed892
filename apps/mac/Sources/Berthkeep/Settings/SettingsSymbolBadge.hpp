#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace berthkeep {

// A symbol on a tinted rounded square; the symbol is drawn at 46 % of the side.
class SettingsSymbolBadge final : public QWidget {
public:
    SettingsSymbolBadge(QString systemImage, QColor tint, qreal size, QWidget* parent = nullptr);

    const QString& systemImage() const { return m_systemImage; }
    qreal symbolPointSize() const { return m_size * 0.46; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    QColor m_tint;
    qreal m_size;
};

} // namespace berthkeep
