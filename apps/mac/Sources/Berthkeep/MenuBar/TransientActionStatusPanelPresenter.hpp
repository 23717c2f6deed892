#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "Berthkeep/MenuBar/TransientActionStatusPresenting.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
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
// status cancels the pending hide of the one before. The card casts its shadow
// only while the desktop composites; without, the panel is the opaque card
// alone, and it is made anew when the answer changes. Main thread only: a call
// from another thread is logged as an error and does nothing.
class TransientActionStatusPanelPresenter final : public QObject,
                                                  public TransientActionStatusPresenting {
public:
    static constexpr Clock::Duration defaultAutoDismissDelay = std::chrono::milliseconds(2800);
    static constexpr int screenInset = 14;

    // Absent logger: the live one of the running bundle identifier.
    explicit TransientActionStatusPanelPresenter(
        std::shared_ptr<Clock> clock = LiveClock::shared(),
        Clock::Duration autoDismissDelay = defaultAutoDismissDelay,
        std::function<bool()> compositingActive = liveCompositingActive,
        std::optional<BerthkeepLogger> logger = std::nullopt);
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
    static bool liveCompositingActive();
    void makePanel(const TransientActionStatus& status, bool translucent);
    void fitPanel();
    void position();

    std::shared_ptr<Clock> m_clock;
    Clock::Duration m_autoDismissDelay;
    std::function<bool()> m_compositingActive;
    BerthkeepLogger m_logger;
    std::unique_ptr<QWidget> m_panel;
    TransientActionStatusPanelView* m_hostingView = nullptr; // owned by m_panel
    std::shared_ptr<CancelToken> m_dismissToken;
};

} // namespace berthkeep
