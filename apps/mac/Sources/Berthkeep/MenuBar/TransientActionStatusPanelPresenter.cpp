#include "Berthkeep/MenuBar/TransientActionStatusPanelPresenter.hpp"

#include <utility>

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include "Berthkeep/MenuBar/TransientActionStatusPanelView.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/MainThread.hpp"

namespace berthkeep {

namespace {

// The presenter is held weakly: a hide that comes due after it is gone does nothing.
QCoro::Task<void> dismissAfterDelay(QPointer<TransientActionStatusPanelPresenter> presenter,
                                    std::shared_ptr<Clock> clock, Clock::Duration delay,
                                    std::shared_ptr<CancelToken> token) {
    const bool elapsed = co_await clock->sleep(delay, token);
    if (!elapsed || token->isCancelled() || !presenter) {
        co_return;
    }
    presenter->dismiss();
}

TransientActionStatusPanelPresenter::ScreenArea areaOf(const QScreen& screen) {
    return {screen.geometry(), screen.availableGeometry()};
}

} // namespace

TransientActionStatusPanelPresenter::TransientActionStatusPanelPresenter(
    std::shared_ptr<Clock> clock, Clock::Duration autoDismissDelay)
    : m_clock(std::move(clock))
    , m_autoDismissDelay(autoDismissDelay) {}

TransientActionStatusPanelPresenter::~TransientActionStatusPanelPresenter() = default;

void TransientActionStatusPanelPresenter::present(const TransientActionStatus& status) {
    Q_ASSERT_X(isMainThread(), "TransientActionStatusPanelPresenter::present",
               "called off the main thread");
    if (m_dismissToken) {
        m_dismissToken->cancel();
    }
    if (!m_panel) {
        m_panel = std::make_unique<QWidget>(
            nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                         Qt::X11BypassWindowManagerHint);
        m_panel->setAttribute(Qt::WA_TranslucentBackground);
        m_panel->setAttribute(Qt::WA_ShowWithoutActivating);
        m_hostingView = new TransientActionStatusPanelView(status, m_panel.get());
        m_panel->setFixedSize(m_hostingView->size());
    } else {
        m_hostingView->setStatus(status);
    }
    position();
    m_panel->show();

    if (status.tone != TransientActionStatusTone::progress) {
        m_dismissToken = CancelToken::make();
        startMainActorTask(
            [presenter = QPointer<TransientActionStatusPanelPresenter>(this), clock = m_clock,
             delay = m_autoDismissDelay,
             token = m_dismissToken] { return dismissAfterDelay(presenter, clock, delay, token); },
            "status panel dismissal");
    }
}

void TransientActionStatusPanelPresenter::dismiss() {
    Q_ASSERT_X(isMainThread(), "TransientActionStatusPanelPresenter::dismiss",
               "called off the main thread");
    if (m_dismissToken) {
        m_dismissToken->cancel();
        m_dismissToken.reset();
    }
    if (m_panel) {
        m_panel->hide();
    }
}

void TransientActionStatusPanelPresenter::position() {
    std::vector<ScreenArea> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(areaOf(*screen));
    }
    std::optional<ScreenArea> primary;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        primary = areaOf(*screen);
    }
    const auto origin =
        panelOrigin(QCursor::pos(), screens, primary, TransientActionStatusPanelView::cardSize);
    if (origin) {
        const int margin = TransientActionStatusPanelView::shadowMargin;
        m_panel->move(*origin - QPoint(margin, margin));
    }
}

std::optional<QPoint> TransientActionStatusPanelPresenter::panelOrigin(
    QPoint pointer, const std::vector<ScreenArea>& screens,
    const std::optional<ScreenArea>& primaryScreen, QSize cardSize) {
    std::optional<ScreenArea> chosen = primaryScreen;
    for (const ScreenArea& screen : screens) {
        if (screen.frame.contains(pointer)) {
            chosen = screen;
            break;
        }
    }
    if (!chosen) {
        return std::nullopt;
    }
    const QRect& area = chosen->availableFrame;
    return QPoint(area.x() + area.width() - cardSize.width() - screenInset, area.y() + screenInset);
}

} // namespace berthkeep
