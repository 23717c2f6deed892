#pragma once

#include <QWidget>

class QLabel;

namespace berthkeep {

class BerthkeepStore;
class MenuBarExtraActionDispatcher;

// A plain text view of the store's menu state with the utility actions and
// Quit, until the menu's own views are wired in. Every click goes through the
// dispatcher, as the menu's will.
class InterimMenuContentWidget final : public QWidget {
    Q_OBJECT

public:
    // Both must outlive the widget.
    InterimMenuContentWidget(BerthkeepStore& store, const MenuBarExtraActionDispatcher& dispatcher,
                             QWidget* parent = nullptr);

private:
    void render();

    BerthkeepStore& m_store;
    QLabel* m_text = nullptr;
};

} // namespace berthkeep
