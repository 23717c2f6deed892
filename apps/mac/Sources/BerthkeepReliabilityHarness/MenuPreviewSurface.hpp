#pragma once

#include <QWidget>

namespace berthkeep {

// A menu drawn on a card outside its panel: rounded corners, the control
// background, a faint outline and a soft shadow below. The card hugs its
// content; callers centre or stretch it as their layout needs.
class MenuPreviewSurface final : public QWidget {
public:
    // Takes ownership of `content`.
    explicit MenuPreviewSurface(QWidget* content, QWidget* parent = nullptr);

    static constexpr qreal cornerRadius = 16;
    // How far the shadow reaches past the card, so callers leave room for it.
    static constexpr int shadowReach = 16;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace berthkeep
