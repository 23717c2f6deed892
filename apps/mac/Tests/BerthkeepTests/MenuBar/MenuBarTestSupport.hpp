#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "Berthkeep/MenuBar/DriveGroupCard.hpp"
#include "Berthkeep/MenuBar/MenuActionButton.hpp"
#include "Berthkeep/MenuBar/MenuBarDivider.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"

namespace berthkeep::menutest {

// The menu panel's width.
inline constexpr int kPanelWidth = 356;

// Shows the view at the panel's width and the height its content asks for.
inline void layOut(QWidget& view, int width = kPanelWidth) {
    view.setFixedWidth(width);
    for (int pass = 0; pass < 2; ++pass) {
        view.resize(width, view.heightForWidth(width));
        view.show();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

inline QRect geometryIn(const QWidget& root, const QWidget& widget) {
    return QRect(widget.mapTo(&root, QPoint(0, 0)), widget.size());
}

// What a person reads top to bottom: "[card]" opens a drive card, "---" is a
// line, "(button)" marks a utility row ("(Quit)", disabled ones "(~Eject All)").
inline std::vector<std::string> transcript(const QWidget& root) {
    std::vector<std::tuple<int, int, std::string>> items;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root)) {
            continue;
        }
        const QPoint at = widget->mapTo(&root, QPoint(0, 0));
        if (const auto* text = dynamic_cast<const MenuBarText*>(widget)) {
            items.emplace_back(at.y(), at.x(), text->text().toStdString());
        } else if (const auto* button = dynamic_cast<const MenuActionButton*>(widget)) {
            const std::string mark = button->isEnabled() ? "" : "~";
            items.emplace_back(at.y(), at.x(), "(" + mark + button->text().toStdString() + ")");
        } else if (dynamic_cast<const MenuBarDivider*>(widget)) {
            items.emplace_back(at.y(), at.x(), "---");
        } else if (dynamic_cast<const DriveGroupCard*>(widget)) {
            items.emplace_back(at.y(), at.x(), "[card]");
        }
    }
    std::stable_sort(items.begin(), items.end());
    std::vector<std::string> lines;
    for (auto& item : items) {
        lines.push_back(std::move(std::get<2>(item)));
    }
    return lines;
}

// The menu's widget types have no meta-object of their own, so findChildren<T>
// cannot tell them apart.
template <typename T> std::vector<T*> visibleChildren(const QWidget& root) {
    std::vector<T*> found;
    for (QWidget* child : root.findChildren<QWidget*>()) {
        if (auto* typed = dynamic_cast<T*>(child); typed && child->isVisibleTo(&root)) {
            found.push_back(typed);
        }
    }
    return found;
}

// Counts the events of one type that reach the objects it is installed on.
class EventCounter final : public QObject {
public:
    explicit EventCounter(QEvent::Type type)
        : m_type(type) {}

    int count = 0;

    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == m_type ? 1 : 0;
        return false;
    }

private:
    QEvent::Type m_type;
};

} // namespace berthkeep::menutest
