#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "Berthkeep/MenuBar/TransientActionStatusPresenting.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"

class QWidget;

namespace berthkeep {

class TransientActionStatusPanelView;

// Owns the one floating status panel: made on the first status and reused, moved
// each time to 14 points inside the top-right corner of the usable area of the
// screen under the pointer. It never takes focus or activates the application,
// and clicks go through it. A result panel hides itself autoDismissDelay after
// it was shown; a progress panel stays until a later status or dismiss(). Every
// status cancels the pending hide of the one before. Main thread only.
class TransientActionStatusPanelPresenter final : public QObject,
                                                  public TransientActionStatusPresenting {
public:
    static constexpr Clock::Duration defaultAutoDismissDelay = std::chrono::milliseconds(2800);
    static constexpr int screenInset = 14;

    explicit TransientActionStatusPanelPresenter(
        std::shared_ptr<Clock> clock = LiveClock::shared(),
        Clock::Duration autoDismissDelay = defaultAutoDismissDelay);
    ~TransientActionStatusPanelPresenter() override;

    void present(const TransientActionStatus& status) override;
    void dismiss() override;

    // Absent until the first status.
    QWidget* panel() const { return m_panel.get(); }
    TransientActionStatusPanelView* hostingView() const { return m_hostingView; }

    struct ScreenArea {
        QRect frame;
        // Without the desktop's panels and docks.
        QRect availableFrame;
    };
    // Where the card's top-left corner goes: the first screen (in the system's
    // order) that holds the pointer, else the primary screen, else nowhere.
    static std::optional<QPoint> panelOrigin(QPoint pointer, const std::vector<ScreenArea>& screens,
                                             const std::optional<ScreenArea>& primaryScreen,
                                             QSize cardSize);

private:
    void position();

    std::shared_ptr<Clock> m_clock;
    Clock::Duration m_autoDismissDelay;
    std::unique_ptr<QWidget> m_panel;
    TransientActionStatusPanelView* m_hostingView = nullptr; // owned by m_panel
    std::shared_ptr<CancelToken> m_dismissToken;
};

} // namespace berthkeep
