#pragma once

#include <QWidget>

#include <string>

namespace berthkeep {

class MenuBarText;

// Under limited protection the menu names only how many managed drives are
// connected, below a thin line, instead of listing them.
class ManagedDriveCountSection final : public QWidget {
public:
    explicit ManagedDriveCountSection(const std::string& text, QWidget* parent = nullptr);

    void setText(const std::string& text);

private:
    MenuBarText* m_text;
};

} // namespace berthkeep
