#include "Berthkeep/Settings/SettingsPathText.hpp"

#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace berthkeep {

SettingsPathText::SettingsPathText(QString path, QFont font, QWidget* parent)
    : QLabel(parent)
    , m_path(std::move(path)) {
    setFont(std::move(font));
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::PlaceholderText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(m_path);
    setAccessibleName(m_path);
    setText(m_path);
}

QString SettingsPathText::visibleText(int width) const {
    return fontMetrics().elidedText(m_path, Qt::ElideMiddle, width);
}

QString SettingsPathText::selectedPath() const {
    if (!hasSelectedText()) {
        return {};
    }
    // What is shown is a head and a tail of the path around the ellipsis.
    const QString shown = text();
    qsizetype head = 0;
    while (head < shown.size() && head < m_path.size() && shown[head] == m_path[head]) {
        ++head;
    }
    qsizetype tail = 0;
    while (tail < shown.size() - head && tail < m_path.size() - head &&
           shown[shown.size() - 1 - tail] == m_path[m_path.size() - 1 - tail]) {
        ++tail;
    }
    const qsizetype shownTail = shown.size() - tail;
    const qsizetype pathTail = m_path.size() - tail;
    // A selection edge within the ellipsis takes in all it hides.
    const auto inPath = [&](qsizetype at, qsizetype withinEllipsis) {
        return at <= head ? at : at >= shownTail ? pathTail + (at - shownTail) : withinEllipsis;
    };
    const qsizetype start = inPath(selectionStart(), head);
    const qsizetype end = inPath(selectionStart() + selectedText().size(), pathTail);
    return m_path.mid(start, end - start);
}

QSize SettingsPathText::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_path) + 1 + margins.left() + margins.right(),
            QLabel::sizeHint().height()};
}

QSize SettingsPathText::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void SettingsPathText::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void SettingsPathText::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
    }
}

void SettingsPathText::elide() {
    const QString shown = visibleText(contentsRect().width());
    // The same text again would clear the selection and ask for another layout.
    if (shown != text()) {
        setText(shown);
    }
}

void SettingsPathText::copySelection(QClipboard::Mode mode) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString selected = selectedPath();
    if (!selected.isEmpty() && (mode != QClipboard::Selection || clipboard->supportsSelection())) {
        clipboard->setText(selected, mode);
    }
}

void SettingsPathText::keyPressEvent(QKeyEvent* event) {
    QLabel::keyPressEvent(event);
    if (event->matches(QKeySequence::Copy)) {
        copySelection(QClipboard::Clipboard);
    } else if (event->matches(QKeySequence::SelectAll)) {
        copySelection(QClipboard::Selection);
    }
}

void SettingsPathText::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    copySelection(QClipboard::Selection);
}

// The label's own menu would copy the ellipsis.
void SettingsPathText::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("Copy"), this,
                                    [this] { copySelection(QClipboard::Clipboard); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(hasSelectedText());
    QAction* selectAll = menu->addAction(QStringLiteral("Select All"), this, [this] {
        setSelection(0, static_cast<int>(text().size()));
        copySelection(QClipboard::Selection);
    });
    selectAll->setShortcut(QKeySequence::SelectAll);
    menu->popup(event->globalPos());
    event->accept();
}

} // namespace berthkeep
