#pragma once

#include <QWidget>

#include <string>

namespace berthkeep {

// Under limited protection the menu names only how many managed drives are
// connected, below a thin line, instead of listing them.
class ManagedDriveCountSection final : public QWidget {
public:
    explicit ManagedDriveCountSection(const std::string& text, QWidget* parent = nullptr);
};

} // namespace berthkeep
