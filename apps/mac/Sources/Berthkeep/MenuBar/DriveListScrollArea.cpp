#include "Berthkeep/MenuBar/DriveListScrollArea.hpp"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

namespace berthkeep {

DriveListScrollArea::DriveListScrollArea(QWidget* list, QWidget* parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setWidget(list);
    // The panel's own background shows through.
    viewport()->setAutoFillBackground(false);
    list->setAutoFillBackground(false);
    list->installEventFilter(this);
    viewport()->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { followFocus(now); });
}

QSize DriveListScrollArea::sizeHint() const {
    const QSize list = widget() != nullptr ? widget()->sizeHint() : QSize();
    return {list.width(), list.height() + 2 * frameWidth()};
}

// A sliver of the list at least, so a short screen still shows it scrolls.
QSize DriveListScrollArea::minimumSizeHint() const {
    const int sliver = 2 * fontMetrics().height();
    return {0, std::min(sizeHint().height(), sliver)};
}

// A card that comes, goes or grows changes the room the list asks for; a
// scroll bar that comes or goes changes the width the cards get.
bool DriveListScrollArea::eventFilter(QObject* watched, QEvent* event) {
    if (holdKeyForHiddenRow(watched, event)) {
        return true;
    }
    if (watched == widget() && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        fitList();
    } else if (watched == viewport() && event->type() == QEvent::Resize) {
        fitList();
    }
    return QScrollArea::eventFilter(watched, event);
}

void DriveListScrollArea::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        event->ignore();
        return;
    }
    QScrollArea::keyPressEvent(event);
}

void DriveListScrollArea::fitList() {
    QWidget* list = widget();
    if (list == nullptr) {
        return;
    }
    const int width = viewport()->width();
    const int height =
        list->hasHeightForWidth() ? list->heightForWidth(width) : list->sizeHint().height();
    if (list->size() != QSize(width, height)) {
        list->resize(width, height);
    }
}

void DriveListScrollArea::followFocus(QWidget* now) {
    if (now != nullptr && widget() != nullptr && widget()->isAncestorOf(now)) {
        ensureWidgetVisible(now, 0, 0);
        // Its keys pass here first; installing again changes nothing.
        now->installEventFilter(this);
    }
}

bool DriveListScrollArea::isShown(const QWidget& row) const {
    const QRect at(row.mapTo(viewport(), QPoint(0, 0)), row.size());
    const QRect seen = at.intersected(viewport()->rect());
    return !seen.isEmpty() && seen.height() == std::min(at.height(), viewport()->height()) &&
           seen.width() == std::min(at.width(), viewport()->width());
}

bool DriveListScrollArea::holdKeyForHiddenRow(QObject* watched, QEvent* event) {
    bool acts = false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        acts = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    } else if (event->type() == QEvent::ContextMenu) {
        // A mouse reaches only the part in view; the menu key reaches any.
        acts = static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse;
    }
    auto* row = qobject_cast<QWidget*>(watched);
    if (!acts || row == nullptr || widget() == nullptr || !widget()->isAncestorOf(row) ||
        isShown(*row)) {
        return false;
    }
    ensureWidgetVisible(row, 0, 0);
    event->accept();
    return true;
}

} // namespace berthkeep
