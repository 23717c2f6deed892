#pragma once

#include <QLabel>

namespace berthkeep {

// One line of text that gives up its middle, not its ends, when the layout
// gives it less width than it asks for: a path keeps its root and its last
// folder. The whole text stays in the tooltip.
class ElidingLabel final : public QLabel {
public:
    explicit ElidingLabel(QString text, QWidget* parent = nullptr);

    const QString& fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();
    int horizontalExtras() const;

    QString m_fullText;
};

} // namespace berthkeep
