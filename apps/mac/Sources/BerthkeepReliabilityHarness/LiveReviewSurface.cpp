#include "BerthkeepReliabilityHarness/LiveReviewSurface.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "BerthkeepReliabilityHarness/DriveDebugRow.hpp"
#include "BerthkeepReliabilityHarness/HarnessCardFrame.hpp"
#include "BerthkeepReliabilityHarness/HarnessText.hpp"
#include "BerthkeepReliabilityHarness/MenuPreviewSurface.hpp"

namespace berthkeep {

namespace {

constexpr int railWidth = 320;
constexpr int railPadding = 24;
constexpr int menuWidth = 320;

void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            // A click handler of this widget may still be on the stack.
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

// A column that scrolls when the window is shorter than its content, so no text
// is squeezed below its height.
QScrollArea* scrolling(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setBackgroundRole(QPalette::Window);
    area->setWidget(content);
    return area;
}

bool isEjecting(const MenubarViewState& state, const std::string& driveID) {
    return std::any_of(state.drives.begin(), state.drives.end(), [&](const DriveRowState& row) {
        return row.id == driveID && row.status == DriveStatus::ejecting;
    });
}

} // namespace

LiveReviewSurface::LiveReviewSurface(BerthkeepStore& store, MenuContentFactory menuContent,
                                     std::function<void()> onOpenSettings, QWidget* parent)
    : QWidget(parent)
    , m_store(&store)
    , m_menuContent(std::move(menuContent))
    , m_onOpenSettings(std::move(onOpenSettings)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(24);
    QScrollArea* rail = scrolling(makeControlRail(), this);
    rail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Room for the scroll bar beside the fixed-width rail, shown or not.
    rail->setFixedWidth(railWidth + 2 * railPadding +
                        rail->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, rail));
    layout->addWidget(rail);
    layout->addWidget(scrolling(makeLiveMenuColumn(), this), 1);

    // The store announces every published change before it lands; redraw once
    // the change is in and the event loop is free.
    connect(&store, &BerthkeepStore::objectWillChange, this, [this] { scheduleRefresh(); });
    refresh();
}

std::string LiveReviewSurface::fullMonitoringSummary(FullMonitoringStatus status) {
    switch (status) {
    case FullMonitoringStatus::checking:
        return "Checking";
    case FullMonitoringStatus::setupRequired:
        return "Unavailable";
    case FullMonitoringStatus::active:
        return "On";
    case FullMonitoringStatus::notDetermined:
    case FullMonitoringStatus::deferred:
    case FullMonitoringStatus::acknowledged:
        return "Limited protection";
    }
    return "Limited protection";
}

QWidget* LiveReviewSurface::makeControlRail() {
    auto* rail = new HarnessCardFrame(18, HarnessCardFrame::Fill::underPage, this);
    rail->setFixedWidth(railWidth + 2 * railPadding);
    auto* column = new QVBoxLayout(rail);
    column->setContentsMargins(railPadding, railPadding, railPadding, railPadding);
    column->setSpacing(18);

    column->addWidget(harnessLabel(QStringLiteral("Reliability Harness"), HarnessTextStyle::title3,
                                   {.weight = QFont::DemiBold}));
    column->addWidget(harnessLabel(
        QStringLiteral("Connected external local drive candidates are detected live, including "
                       "unmounted volumes available for manual mount. Excluded drives are managed "
                       "in Settings so the menubar UI can remain state-first."),
        HarnessTextStyle::callout, {.secondary = true, .wraps = true}));

    auto* status = new QVBoxLayout;
    status->setSpacing(8);
    status->addWidget(harnessLabel(QStringLiteral("Current state"), HarnessTextStyle::headline));
    m_stateLabel = harnessLabel(QString(), HarnessTextStyle::callout);
    status->addWidget(m_stateLabel);
    m_triggerLabel = harnessLabel(QString(), HarnessTextStyle::caption, {.secondary = true});
    status->addWidget(m_triggerLabel);
    m_fullMonitoringLabel = harnessLabel(QString(), HarnessTextStyle::caption, {.secondary = true});
    status->addWidget(m_fullMonitoringLabel);
    m_notificationsWarning = harnessLabel(
        QStringLiteral("Notifications are blocked in System Settings, so Berthkeep can\u2019t "
                       "alert you after sleep failures."),
        HarnessTextStyle::caption, {.secondary = true, .wraps = true});
    status->addWidget(m_notificationsWarning);
    status->addWidget(harnessLabel(
        QStringLiteral("Automatic sleep-triggered eject is wired via IOKit system power "
                       "notifications so Berthkeep can briefly delay sleep while it tries to eject "
                       "managed drives. Successful sleep-trigger ejects are still queued for wake "
                       "remount."),
        HarnessTextStyle::caption, {.secondary = true, .wraps = true}));
    column->addLayout(status);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    const auto addButton = [&](const char* title, std::function<void(BerthkeepStore&)> call) {
        // A tool button's slimmer frame lets three of them share the rail's width.
        auto* button = new QToolButton(rail);
        button->setText(QString::fromLatin1(title));
        button->setFont(harnessFont(HarnessTextStyle::caption));
        connect(button, &QToolButton::clicked, this, [this, call = std::move(call)] {
            if (m_store) {
                call(*m_store);
            }
        });
        buttons->addWidget(button);
    };
    addButton("Refresh Drives", [](BerthkeepStore& store) { store.refreshInventory(); });
    addButton("Simulate Sleep Hook",
              [](BerthkeepStore& store) { store.simulateTrigger(TriggerReason::systemSleep); });
    addButton("Simulate Lid Close",
              [](BerthkeepStore& store) { store.simulateTrigger(TriggerReason::lidCloseSleep); });
    column->addLayout(buttons);

    auto* drives = new QVBoxLayout;
    drives->setSpacing(10);
    drives->addWidget(
        harnessLabel(QStringLiteral("Connected drive candidates"), HarnessTextStyle::headline));
    m_driveList = new QWidget(rail);
    m_driveListLayout = new QVBoxLayout(m_driveList);
    m_driveListLayout->setContentsMargins(0, 0, 0, 0);
    m_driveListLayout->setSpacing(10);
    drives->addWidget(m_driveList);
    column->addLayout(drives);
    column->addStretch(1);
    return rail;
}

QWidget* LiveReviewSurface::makeLiveMenuColumn() {
    auto* menuColumn = new QWidget(this);
    auto* column = new QVBoxLayout(menuColumn);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(14);
    column->addWidget(harnessLabel(QStringLiteral("Live Menu Review"), HarnessTextStyle::headline));
    column->addWidget(harnessLabel(
        QStringLiteral("The menubar surface is now driven by live external-drive inventory, "
                       "including connected volumes that are currently unmounted."),
        HarnessTextStyle::callout, {.secondary = true, .wraps = true}));
    m_menuSlot = new QVBoxLayout;
    m_menuSlot->setContentsMargins(0, 0, MenuPreviewSurface::shadowReach,
                                   MenuPreviewSurface::shadowReach);
    column->addLayout(m_menuSlot);
    column->addStretch(1);
    return menuColumn;
}

void LiveReviewSurface::scheduleRefresh() {
    if (m_refreshScheduled) {
        return;
    }
    m_refreshScheduled = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void LiveReviewSurface::refresh() {
    m_refreshScheduled = false;
    if (!m_store) {
        return;
    }
    refreshStatus();
    refreshDrives();
    refreshMenu();
}

void LiveReviewSurface::changeEvent(QEvent* event) {
    // Rows and the menu take some colours when they are built.
    if (event->type() == QEvent::PaletteChange) {
        m_menuNeedsRebuild = true;
        scheduleRefresh();
    }
    QWidget::changeEvent(event);
}

void LiveReviewSurface::refreshStatus() {
    const BerthkeepStore& store = *m_store;
    m_stateLabel->setText(QStringLiteral("\u26C1  ") +
                          QString::fromStdString(store.currentState().globalState.headerCopy()));
    const auto& trigger = store.lastObservedTrigger();
    m_triggerLabel->setVisible(trigger.has_value());
    if (trigger) {
        m_triggerLabel->setText(QStringLiteral("Latest trigger: ") +
                                QString::fromStdString(label(*trigger)));
    }
    m_fullMonitoringLabel->setText(
        QStringLiteral("Full Monitoring: ") +
        QString::fromStdString(fullMonitoringSummary(store.fullMonitoringStatus())));
    m_notificationsWarning->setVisible(store.notificationsEnabled() &&
                                       store.notificationsAuthorizationStatus() ==
                                           BerthkeepNotificationAuthorizationStatus::denied);
}

void LiveReviewSurface::refreshDrives() {
    clearLayout(m_driveListLayout);
    const BerthkeepStore& store = *m_store;
    if (store.detectedDrives().empty()) {
        m_driveListLayout->addWidget(
            harnessLabel(QStringLiteral("No external local candidate volumes detected."),
                         HarnessTextStyle::callout, {.secondary = true}, m_driveList));
        return;
    }
    for (const DetectedDrive& drive : store.detectedDrives()) {
        m_driveListLayout->addWidget(
            new DriveDebugRow(drive, isEjecting(store.currentState(), drive.id()), m_driveList));
    }
}

void LiveReviewSurface::refreshMenu() {
    auto* productMenu = dynamic_cast<MenuBarContentView*>(m_menu.data());
    if (!productMenu || m_menuNeedsRebuild) {
        rebuildMenu();
        return;
    }
    productMenu->setState(m_store->currentState());
}

void LiveReviewSurface::rebuildMenu() {
    m_menuNeedsRebuild = false;
    clearLayout(m_menuSlot);
    QWidget* menu = m_menuContent(m_store->currentState(), storeCallbacks(), nullptr);
    menu->setFixedWidth(menuWidth);
    m_menu = menu;
    m_menuSurface = new MenuPreviewSurface(menu, MenuPreviewSurface::Width::hugsContent, this);
    m_menuSlot->addWidget(m_menuSurface, 0, Qt::AlignLeft | Qt::AlignTop);
}

// Unlike the menu-bar panel, nothing closes first and nothing waits: the store
// hears each click at once.
MenuContentCallbacks LiveReviewSurface::storeCallbacks() {
    const QPointer<BerthkeepStore> store = m_store;
    MenuContentCallbacks callbacks;
    callbacks.onUtilityAction = [store](MenubarUtilityAction::Kind kind) {
        if (store) {
            store->perform(kind);
        }
    };
    callbacks.onDriveAction = [store](DriveAction::Kind kind, const std::string& driveID) {
        if (store) {
            store->perform(kind, driveID);
        }
    };
    callbacks.onDriveGroupAction = [store](DriveGroupActionKind kind, const std::string& groupID) {
        if (store) {
            store->perform(kind, groupID);
        }
    };
    callbacks.onRemediationAction = [store](const MenubarRemediationAction& action) {
        if (store) {
            store->perform(action);
        }
    };
    // A developer's click here must not reach the product's feedback address.
    callbacks.onSendFeedback = [] {
    };
    callbacks.onOpenSettings = m_onOpenSettings ? m_onOpenSettings : [] {
    };
    callbacks.onQuit = [] {
        QCoreApplication::exit(0);
    };
    return callbacks;
}

} // namespace berthkeep
