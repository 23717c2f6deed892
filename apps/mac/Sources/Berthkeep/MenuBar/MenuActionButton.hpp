#pragma once

#include <QAbstractButton>

#include <functional>

namespace berthkeep {

// A full-width plain row of the utility section: no bezel, filled with the
// accent colour under the pointer, faded when disabled. A click on a disabled
// row does nothing.
class MenuActionButton final : public QAbstractButton {
public:
    MenuActionButton(const QString& title, bool isEnabled, std::function<void()> action,
                     QWidget* parent = nullptr);

    bool isHovered() const { return m_hovered; }
    QColor titleColor() const;
    QColor hoverBackground() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    void setHovered(bool hovered);

    bool m_hovered = false;
};

} // namespace berthkeep
