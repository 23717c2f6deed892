#pragma once

#include <QPalette>
#include <QWidget>

namespace berthkeep {

// A rounded panel filled from the palette, so it follows the window's
// appearance; its children are laid out by the caller.
class HarnessCardFrame : public QWidget {
public:
    enum class Fill {
        // A shade below the window background, for cards on the window.
        underPage,
        // The control background, for rows inside a card.
        control,
    };

    HarnessCardFrame(qreal cornerRadius, Fill fill, QWidget* parent = nullptr);

    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_cornerRadius;
    Fill m_fill;
};

} // namespace berthkeep
