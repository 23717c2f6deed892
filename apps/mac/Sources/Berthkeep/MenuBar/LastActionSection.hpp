#pragma once

#include <QWidget>

#include <string>

namespace berthkeep {

// "Last attempt: " and the outcome of the last eject attempt.
class LastActionSection final : public QWidget {
public:
    explicit LastActionSection(const std::string& text, QWidget* parent = nullptr);
};

} // namespace berthkeep
