#include "Berthkeep/Shell/SettingsWindowController.hpp"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

SettingsWindowController::SettingsWindowController(
    BerthkeepStore& store,
    std::shared_ptr<BerthkeepForegroundPresentationCoordinator> foregroundPresentationCoordinator,
    bool isUpdateCheckAvailable, std::function<void()> onCheckForUpdates)
    : m_store(store)
    , m_foregroundPresentationCoordinator(std::move(foregroundPresentationCoordinator))
    , m_isUpdateCheckAvailable(isUpdateCheckAvailable)
    , m_onCheckForUpdates(std::move(onCheckForUpdates)) {}

SettingsWindowController::~SettingsWindowController() {
    delete m_window;
}

QString SettingsWindowController::applicationVersion() {
    const auto value = AppBundle::main()->shortVersion();
    return value ? QString::fromStdString(*value) : QStringLiteral("dev");
}

QString SettingsWindowController::buildNumber() {
    const auto value = AppBundle::main()->bundleVersion();
    return value ? QString::fromStdString(*value) : QStringLiteral("dev");
}

void SettingsWindowController::makeWindow() {
    auto* window =
        new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                 Qt::WindowMinimizeButtonHint);
    window->setWindowTitle("Settings");
    m_page = new BerthkeepSettingsView(m_store, m_isUpdateCheckAvailable, m_onCheckForUpdates,
                                       applicationVersion(), buildNumber());
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);
    window->setFixedSize(BerthkeepSettingsView::pageWidth, BerthkeepSettingsView::pageHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->installEventFilter(this);
    m_window = window;
}

void SettingsWindowController::show() {
    if (!m_window) {
        makeWindow();
    }
    if (m_window->isMinimized()) {
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    }
    if (!m_foregroundPresentation) {
        m_foregroundPresentation = m_foregroundPresentationCoordinator->beginPresentation();
    }
    m_window->show();
    m_foregroundPresentationCoordinator->activateIgnoringOtherApps();
    m_window->raise();
    m_window->activateWindow();
}

bool SettingsWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Close && event->isAccepted()) {
        windowWillClose();
    }
    return QObject::eventFilter(watched, event);
}

void SettingsWindowController::windowWillClose() {
    if (m_foregroundPresentation) {
        m_foregroundPresentation->end();
    }
    m_foregroundPresentation.reset();
}

} // namespace berthkeep
