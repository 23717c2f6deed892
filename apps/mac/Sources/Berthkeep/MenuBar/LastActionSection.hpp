#pragma once

#include <QWidget>

#include <string>

namespace berthkeep {

class MenuBarText;

// "Last attempt: " and the outcome of the last eject attempt.
class LastActionSection final : public QWidget {
public:
    explicit LastActionSection(const std::string& text, QWidget* parent = nullptr);

    void setText(const std::string& text);

private:
    MenuBarText* m_text;
};

} // namespace berthkeep
