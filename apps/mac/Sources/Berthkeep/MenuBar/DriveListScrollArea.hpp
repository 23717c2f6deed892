#pragma once

#include <QScrollArea>

namespace berthkeep {

// The drive list's viewport in the menu: as tall as the list while the panel
// has room, shorter with a scroll bar when the screen has not, so the rows
// above and below it always show. It is no tab stop of its own, and it keeps
// the card that has the keyboard focus in view. The wheel may still scroll that
// card away: a key that would act on it (Return, Enter, space, the menu key)
// then only brings it back into view, so nothing acts on a drive out of sight.
class DriveListScrollArea final : public QScrollArea {
public:
    // Takes ownership of `list`.
    explicit DriveListScrollArea(QWidget* list, QWidget* parent = nullptr);

    // The whole list; the layout shortens it when the panel is capped.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Up and Down move the focus between the menu's cards and rows, above it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The list keeps its full height at the viewport's width; the bar scrolls it.
    void fitList();
    void followFocus(QWidget* now);
    // Wholly in view, or filling the view when it is the taller.
    bool isShown(const QWidget& row) const;
    // True when it took the event: a key meant for a row out of view.
    bool holdKeyForHiddenRow(QObject* watched, QEvent* event);
};

} // namespace berthkeep
