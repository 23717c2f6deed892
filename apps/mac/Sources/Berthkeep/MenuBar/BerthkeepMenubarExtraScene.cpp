#include "Berthkeep/MenuBar/BerthkeepMenubarExtraScene.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QTimer>

#include "Berthkeep/MenuBar/MenuBarContentView.hpp"
#include "Berthkeep/Shell/BerthkeepFeedbackDestination.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {

namespace {

BerthkeepMenubarIcon::ColorScheme currentColorScheme() {
    return BerthkeepMenubarIcon::colorScheme(QApplication::palette());
}

} // namespace

BerthkeepMenubarExtraScene::BerthkeepMenubarExtraScene(BerthkeepStore& store,
                                                       std::function<void()> showSettings,
                                                       Options options, QObject* parent)
    : QObject(parent)
    , m_store(&store)
    , m_showSettings(std::move(showSettings))
    , m_options(std::move(options))
    , m_dispatcher(m_options.actionDispatcher.value_or(MenuBarExtraActionDispatcher(
          [this] {
              if (m_host) {
                  m_host->dismiss();
              }
          },
          MenuBarExtraActionDispatcher::delayedScheduler(LiveClock::shared())))) {
    if (!m_options.feedbackURLProvider) {
        m_options.feedbackURLProvider = [] {
            return BerthkeepFeedbackDestination::url();
        };
    }
    if (!m_options.openFeedbackURL) {
        m_options.openFeedbackURL = [](const QUrl& url) {
            QDesktopServices::openUrl(url);
        };
    }

    MenuBarContentView::Callbacks callbacks;
    callbacks.onUtilityAction = [this](MenubarUtilityAction::Kind kind) {
        performMenuUtilityAction(kind);
    };
    callbacks.onDriveAction = [this](DriveAction::Kind kind, const std::string& id) {
        performMenuDriveAction(kind, id);
    };
    callbacks.onDriveGroupAction = [this](DriveGroupActionKind kind, const std::string& id) {
        performMenuDriveGroupAction(kind, id);
    };
    callbacks.onRemediationAction = [this](const MenubarRemediationAction& action) {
        performMenuRemediationAction(action);
    };
    callbacks.onSendFeedback = [this] {
        performMenuSendFeedback();
    };
    callbacks.onOpenSettings = [this] {
        openSettingsFromMenu();
    };
    callbacks.onQuit = [this] {
        performMenuQuit();
    };

    auto* content = new MenuBarContentView(store.currentState(), std::move(callbacks));
    content->setFixedWidth(menuWidth);
    content->setLayoutShiftGuard(MenuLayoutShiftGuard(
        m_options.clock ? m_options.clock : LiveClock::shared(), m_options.clickQuietPeriod));
    m_content = content;
    m_iconDrawnFor = std::pair(store.currentState(), currentColorScheme());
    m_host = std::make_unique<MenuBarExtraHost>(
        content, m_label.image(store.currentState(), m_iconDrawnFor->second),
        QStringLiteral("Berthkeep"), m_options.mode);
    connect(&store, &BerthkeepStore::currentStateChanged, this,
            &BerthkeepMenubarExtraScene::stateChanged);
    connect(m_host.get(), &MenuBarExtraHost::aboutToOpen, content,
            &MenuBarContentView::prepareForOpening);
    connect(m_host.get(), &MenuBarExtraHost::closeRequested, this,
            &BerthkeepMenubarExtraScene::performMenuQuit);
}

BerthkeepMenubarExtraScene::~BerthkeepMenubarExtraScene() = default;

void BerthkeepMenubarExtraScene::show() {
    m_host->show();
    if (m_store) {
        m_label.itemBecameVisible(m_store->currentState());
    }
}

void BerthkeepMenubarExtraScene::stateChanged() {
    if (!m_store) {
        return;
    }
    const MenubarViewState& state = m_store->currentState();
    if (m_content) {
        m_content->setState(state);
    }
    auto drawnFor = std::pair(state, currentColorScheme());
    if (drawnFor == m_iconDrawnFor) {
        return;
    }
    m_host->setIcon(m_label.image(state, drawnFor.second));
    m_iconDrawnFor = std::move(drawnFor);
}

// The drives the menu shows at the click: the action, 150 ms on, takes none
// that came after.
BerthkeepStore::ShownDriveIDs BerthkeepMenubarExtraScene::shownDriveIDs() const {
    std::set<std::string> ids;
    if (m_content) {
        for (const DriveRowState& row : m_content->state().drives) {
            ids.insert(row.id);
        }
    }
    return ids;
}

BerthkeepStore::ShownDriveIDs
BerthkeepMenubarExtraScene::shownGroupDriveIDs(const std::string& groupID) const {
    std::set<std::string> ids;
    if (m_content) {
        for (const DriveGroupState& group : m_content->state().driveGroups) {
            if (group.id == groupID) {
                ids.insert(group.driveIDs.begin(), group.driveIDs.end());
            }
        }
    }
    return ids;
}

// Scheduled work holds the store weakly: a click that lands as the program
// ends does nothing.
void BerthkeepMenubarExtraScene::performMenuUtilityAction(MenubarUtilityAction::Kind kind) {
    m_dispatcher.dispatch([store = m_store, kind, shown = shownDriveIDs()] {
        if (store) {
            store->perform(kind, shown);
        }
    });
}

void BerthkeepMenubarExtraScene::performMenuDriveAction(DriveAction::Kind kind,
                                                        const std::string& driveID) {
    m_dispatcher.dispatch([store = m_store, kind, driveID] {
        if (store) {
            store->perform(kind, driveID);
        }
    });
}

void BerthkeepMenubarExtraScene::performMenuDriveGroupAction(DriveGroupActionKind kind,
                                                             const std::string& groupID) {
    m_dispatcher.dispatch([store = m_store, kind, groupID, shown = shownGroupDriveIDs(groupID)] {
        if (store) {
            store->perform(kind, groupID, shown);
        }
    });
}

// A prompt or the system settings come up right after the close, without the
// action delay.
void BerthkeepMenubarExtraScene::performMenuRemediationAction(
    const MenubarRemediationAction& action) {
    m_dispatcher.dismiss();
    QMetaObject::invokeMethod(
        this,
        [store = m_store, action] {
            if (store) {
                store->perform(action);
            }
        },
        Qt::QueuedConnection);
}

void BerthkeepMenubarExtraScene::openSettingsFromMenu() {
    m_dispatcher.dismiss();
    QTimer::singleShot(m_options.settingsDelay, this, [this] {
        if (m_showSettings) {
            m_showSettings();
        }
    });
}

// The address is asked for when the action runs, not at the click.
void BerthkeepMenubarExtraScene::performMenuSendFeedback() {
    m_dispatcher.dispatch([provider = m_options.feedbackURLProvider,
                           open = m_options.openFeedbackURL] { open(provider()); });
}

void BerthkeepMenubarExtraScene::performMenuQuit() {
    m_dispatcher.dispatch([store = m_store] {
        if (store) {
            store->quit();
        }
    });
}

} // namespace berthkeep
