#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace berthkeep {

// A wrapped text of the settings page. With a line limit, the last line shown is
// cut with an ellipsis; without one the text grows to its full height. Its
// height follows the width it is given.
class SettingsText : public QWidget {
public:
    enum class Style { primary, secondary };

    SettingsText(QString text, QFont font, Style style, int lineLimit = 0,
                 QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    void setColor(const QColor& color);
    int lineLimit() const { return m_lineLimit; }

    // The lines as shown at a width: the last one elided when the limit cuts.
    QStringList visibleLines(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor foreground() const;

    QString m_text;
    QFont m_font;
    Style m_style;
    int m_lineLimit;
    QColor m_color;
};

} // namespace berthkeep
