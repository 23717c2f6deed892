#pragma once

#include <QClipboard>
#include <QFont>
#include <QLabel>
#include <QString>

namespace berthkeep {

// A path on one line: cut in the middle with an ellipsis where it does not fit,
// so both the start and the drive's own folder stay readable. The whole path is
// the tooltip and the accessible name. It asks for no width of its own, so a long
// path never pushes the row's switch out of view.
//
// The mouse selects it, and the selection copies (Ctrl+C, the context menu, the
// X11 selection) as the path itself: a selected ellipsis brings the part it hides.
class SettingsPathText final : public QLabel {
public:
    SettingsPathText(QString path, QFont font, QWidget* parent = nullptr);

    const QString& path() const { return m_path; }
    // The text as drawn at a width.
    QString visibleText(int width) const;
    // The part of the path under the selection; empty without one.
    QString selectedPath() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void elide();
    // Puts the selected part of the path where the label just put what it shows.
    void copySelection(QClipboard::Mode mode) const;

    QString m_path;
};

} // namespace berthkeep
