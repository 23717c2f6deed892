#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

namespace berthkeep {

// The enable prompt's content: what Full Monitoring brings, that the system
// may ask for permissions, and the two answers.
class FullMonitoringPromptView final : public QWidget {
public:
    static constexpr int width = 440;

    FullMonitoringPromptView(std::function<void()> onContinue, std::function<void()> onNotNow,
                             QWidget* parent = nullptr);

    QPushButton* continueButton() const { return m_continueButton; }
    QPushButton* notNowButton() const { return m_notNowButton; }

private:
    QPushButton* m_continueButton;
    QPushButton* m_notNowButton;
};

} // namespace berthkeep
