#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "Berthkeep/Settings/FullMonitoringPromptPresenting.hpp"
#include "platform/Activation/ApplicationActivation.hpp"

namespace berthkeep {

class FullMonitoringPromptView;

// Shows the enable prompt as a small floating window in front of every other
// program. Each button closes the prompt before its answer runs; closing the
// window with its close button answers nothing. Main thread only.
class FullMonitoringPromptPanelPresenter final : public QObject,
                                                 public FullMonitoringPromptPresenting {
public:
    static constexpr int panelWidth = 440;
    static constexpr int panelHeight = 260;

    // activation brings the program forward without changing its policy; may be
    // null (nothing is activated then).
    explicit FullMonitoringPromptPanelPresenter(std::shared_ptr<ApplicationActivation> activation);
    ~FullMonitoringPromptPanelPresenter() override;

    void present(Action onContinue, Action onNotNow) override;
    void dismiss() override;

    // The prompt on screen and its content, or null.
    QWidget* panel() const { return m_panel; }
    FullMonitoringPromptView* view() const { return m_panel ? m_view : nullptr; }

private:
    std::shared_ptr<ApplicationActivation> m_activation;
    QPointer<QWidget> m_panel;
    FullMonitoringPromptView* m_view = nullptr;
};

} // namespace berthkeep
