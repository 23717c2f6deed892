#pragma once

class QWidget;

namespace berthkeep {

// Escape and Ctrl+W close the window, whichever of its controls has the focus:
// without a window manager there is no title bar to close it by.
void addWindowCloseShortcuts(QWidget* window);

} // namespace berthkeep
