#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

namespace berthkeep {

// A row of joined, exclusive segments, one per title, painted from the
// palette so it follows the window's appearance. The callback hears each
// change the user makes.
class SegmentedPicker final : public QWidget {
public:
    SegmentedPicker(const QString& accessibleTitle, QStringList titles, QWidget* parent = nullptr);

    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    void onChanged(std::function<void(int)> action) { m_onChanged = std::move(action); }
    // Picks a segment as a click would.
    void choose(int index);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRectF segmentRect(int index) const;

    QStringList m_titles;
    int m_current = 0;
    std::function<void(int)> m_onChanged;
};

} // namespace berthkeep
