#pragma once

#include <QWidget>

namespace berthkeep {

// Insets a note under a toggle row so it starts where the row's texts start
// (16 + 28 + 12 points), 16 from the trailing edge, `bottom` below.
inline QWidget* asRowNote(QWidget* note, int bottom = 10) {
    note->setContentsMargins(56, 0, 16, bottom);
    return note;
}

} // namespace berthkeep
