#pragma once

#include <QAbstractButton>

#include <functional>

namespace berthkeep {

// A full-width plain row of the utility section: no bezel, filled with the
// accent colour under the pointer, ringed while it has the keyboard focus,
// faded when disabled. Return or space activates it like a click. A click on a
// disabled row does nothing.
class MenuActionButton final : public QAbstractButton {
public:
    MenuActionButton(const QString& title, bool isEnabled, std::function<void()> action,
                     QWidget* parent = nullptr);

    // A state update changes the row in place.
    void setTitle(const QString& title);
    void setAction(std::function<void()> action);
    // Asked at each activation, by click or key; false: the row does nothing.
    void setGate(std::function<bool(const MenuActionButton&)> gate);

    bool isHovered() const { return m_hovered; }
    // Drops the hover of a row that a layout change moved away from under a
    // still pointer, which sends no leave event.
    void refreshHover();
    QColor titleColor() const;
    QColor hoverBackground() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    void setHovered(bool hovered);

    std::function<void()> m_action;
    std::function<bool(const MenuActionButton&)> m_gate;
    bool m_hovered = false;
};

} // namespace berthkeep
