#pragma once

#include <QWidget>

namespace berthkeep {

// A menu drawn on a card outside its panel: rounded corners, the control
// background, a faint outline and a soft shadow below. The card either hugs
// its content or stretches over the width it is given with the content centred
// (the screenshot frame).
class MenuPreviewSurface final : public QWidget {
public:
    enum class Width {
        hugsContent,
        stretches,
    };

    // Takes ownership of `content`.
    explicit MenuPreviewSurface(QWidget* content, Width width = Width::hugsContent,
                                QWidget* parent = nullptr);

    static constexpr qreal cornerRadius = 16;
    // How far the shadow reaches past the card, so callers leave room for it.
    static constexpr int shadowReach = 16;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QSize contentSize() const;
    void placeContent();

    QWidget* m_content;
};

} // namespace berthkeep
