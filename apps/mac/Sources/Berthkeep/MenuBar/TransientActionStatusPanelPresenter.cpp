#include "Berthkeep/MenuBar/TransientActionStatusPanelPresenter.hpp"

#include <utility>

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include "Berthkeep/MenuBar/TransientActionStatusPanelView.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/MainThread.hpp"
#include "platform/MenuBarExtra/DesktopHints.hpp"

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
    std::shared_ptr<Clock> clock, Clock::Duration autoDismissDelay,
    std::function<bool()> compositingActive, std::optional<BerthkeepLogger> logger)
    : m_clock(std::move(clock))
    , m_autoDismissDelay(autoDismissDelay)
    , m_compositingActive(std::move(compositingActive))
    , m_logger(logger.value_or(
          BerthkeepLogger::live(BerthkeepRuntimeIdentity::currentBundleIdentifier()))) {}

TransientActionStatusPanelPresenter::~TransientActionStatusPanelPresenter() = default;

bool TransientActionStatusPanelPresenter::liveCompositingActive() {
    return DesktopHints::compositingActive();
}

void TransientActionStatusPanelPresenter::present(const TransientActionStatus& status) {
    if (!requireMainThread(m_logger, "TransientActionStatusPanelPresenter.present")) {
        return;
    }
    if (m_dismissToken) {
        m_dismissToken->cancel();
    }
    const bool translucent = m_compositingActive();
    if (!m_panel || m_hostingView->drawsShadow() != translucent) {
        makePanel(status, translucent);
    } else {
        m_hostingView->setStatus(status);
    }
    fitPanel();
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
    if (!requireMainThread(m_logger, "TransientActionStatusPanelPresenter.dismiss")) {
        return;
    }
    if (m_dismissToken) {
        m_dismissToken->cancel();
        m_dismissToken.reset();
    }
    if (m_panel) {
        m_panel->hide();
    }
}

// A window's translucency is fixed when it is made, so a change of compositing
// takes a new panel.
void TransientActionStatusPanelPresenter::makePanel(const TransientActionStatus& status,
                                                    bool translucent) {
    m_panel = std::make_unique<QWidget>(
        nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                     Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                     Qt::X11BypassWindowManagerHint);
    m_panel->setAttribute(Qt::WA_ShowWithoutActivating);
    m_hostingView = new TransientActionStatusPanelView(status, translucent, m_panel.get());
    if (translucent) {
        m_panel->setAttribute(Qt::WA_TranslucentBackground);
    }
}

// The card is as tall as the status's texts take in the desktop's font.
void TransientActionStatusPanelPresenter::fitPanel() {
    m_panel->setFixedSize(m_hostingView->size());
    if (!m_hostingView->drawsShadow()) {
        // Opaque pixels only: the rounded corners are cut by the window's shape.
        m_panel->setMask(QRegion(m_hostingView->cardShape().toFillPolygon().toPolygon()));
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
        panelOrigin(QCursor::pos(), screens, primary, m_hostingView->cardRect().size());
    if (origin) {
        const int margin = m_hostingView->margin();
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
