#include "Berthkeep/Shell/SettingsWindowController.hpp"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Settings/WindowCloseShortcuts.hpp"
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

QRect SettingsWindowController::frameWithin(QSize preferred, const QRect& available) {
    QRect frame(QPoint(), preferred.boundedTo(available.size()));
    frame.moveCenter(available.center());
    // Centring rounds; the title and the header must never start off screen.
    frame.moveTopLeft(
        QPoint(std::max(frame.left(), available.left()), std::max(frame.top(), available.top())));
    return frame;
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
    layout->setSpacing(0);
    layout->addWidget(m_page);
    int menuBarHeight = 0;
    if (m_isUpdateCheckAvailable) {
        m_applicationMenuBar = makeApplicationMenuBar(window);
        layout->setMenuBar(m_applicationMenuBar);
        // A desktop with a global menu takes the bar out of the window.
        if (!m_applicationMenuBar->isNativeMenuBar()) {
            menuBarHeight = m_applicationMenuBar->sizeHint().height();
        }
    }
    const QSize preferred(BerthkeepSettingsView::pageWidth,
                          BerthkeepSettingsView::pageHeight + menuBarHeight);
    const QSize minimum(BerthkeepSettingsView::minimumPageWidth,
                        BerthkeepSettingsView::minimumPageHeight + menuBarHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        window->setMinimumSize(minimum.boundedTo(available.size()));
        window->setGeometry(frameWithin(preferred, available));
    } else {
        window->setMinimumSize(minimum);
        window->resize(preferred);
    }
    addWindowCloseShortcuts(window);
    window->installEventFilter(this);
    m_window = window;
}

// The update check belongs in the application menu, after About. The desktop
// may have no global menu, so the settings window carries one; without an
// update check it would hold only About, and then there is none.
QMenuBar* SettingsWindowController::makeApplicationMenuBar(QWidget* window) {
    auto* bar = new QMenuBar(window);
    QMenu* menu = bar->addMenu(QStringLiteral("Berthkeep"));
    QAction* about = menu->addAction(QStringLiteral("About Berthkeep"));
    about->setMenuRole(QAction::AboutRole);
    // The page's About card holds the name, the version and the update button.
    connect(about, &QAction::triggered, this, [this] {
        if (m_page) {
            m_page->scrollArea()->ensureWidgetVisible(m_page->aboutCard());
        }
    });
    menu->addSeparator();
    QAction* check = menu->addAction(QString::fromUtf8("Check for Updates\u2026"));
    check->setMenuRole(QAction::ApplicationSpecificRole);
    connect(check, &QAction::triggered, this, [this] {
        if (m_onCheckForUpdates) {
            m_onCheckForUpdates();
        }
    });
    return bar;
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
