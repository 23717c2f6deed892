#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace berthkeep {

// A run of text in one font and one palette-derived colour, wrapped at word
// boundaries to the width it is given. With a line limit the last line is
// elided; without one it grows to its full height. The colour is asked of the
// palette at every paint, so an appearance change needs no rebuild.
class MenuBarText final : public QWidget {
public:
    using Color = std::function<QColor(const QPalette&)>;

    // maxLines 0: no limit.
    MenuBarText(QString text, QFont font, Color color, int maxLines, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    // Redraws only when the text differs.
    void setText(const QString& text);
    QColor color() const { return m_color(palette()); }
    // The lines as drawn at the current width, the limit applied.
    QStringList visibleLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList layoutLines(qreal width) const;

    QString m_text;
    QFont m_font;
    Color m_color;
    int m_maxLines;
};

} // namespace berthkeep
