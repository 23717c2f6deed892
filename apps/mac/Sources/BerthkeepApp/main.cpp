// The program: a menu-bar agent over the live services, on the machine the
// platform layers stand for.
#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <memory>

#include "Berthkeep/MenuBar/MenuBarExtraActionDispatcher.hpp"
#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Shell/BerthkeepLiveShellState.hpp"
#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"
#include "BerthkeepApp/InterimMenuContentWidget.hpp"
#include "BerthkeepApp/TerminationSignalWatcher.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/System/DisplayPlatformChoice.hpp"

using namespace berthkeep;

namespace {

// A plain drive shape until the status icon is wired in.
QIcon interimIcon() {
    QPixmap pixmap(44, 44);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRoundedRect(QRectF(6, 12, 32, 20), 4, 4);
    painter.drawEllipse(QPointF(30, 22), 2, 2);
    return QIcon(pixmap);
}

} // namespace

int main(int argc, char** argv) {
    DisplayPlatformChoice::applyToProcess("Berthkeep");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Berthkeep"));
    // An agent: closing a window never ends it, only Quit or a signal does.
    QApplication::setQuitOnLastWindowClosed(false);

    TerminationSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &application,
                     &QApplication::quit);

    BerthkeepRustBridgeBootstrap::registerFactories();
    const auto bundle = AppBundle::main();
    BerthkeepUpdaterController updater(bundle->infoDictionary(), AbsentSoftwareUpdater::factory());

    auto platform = std::make_shared<BerthkeepLivePlatform>(
        BerthkeepLivePlatform::simulatedMachine(SimulatedStateFile::fromEnvironment(), *bundle));
    auto shell = std::make_unique<BerthkeepLiveShellState>(
        platform, BerthkeepLiveShellState::liveBuilders(platform),
        updater.isUpdateCommandAvailable(), [&updater] { updater.checkForUpdates(); });

    std::unique_ptr<MenuBarExtraHost> host;
    const MenuBarExtraActionDispatcher dispatcher(
        [&host] {
            if (host) {
                host->dismiss();
            }
        },
        MenuBarExtraActionDispatcher::delayedScheduler(LiveClock::shared()));
    host = std::make_unique<MenuBarExtraHost>(
        new InterimMenuContentWidget(*shell->store(), dispatcher), interimIcon(),
        QStringLiteral("Berthkeep"));
    QObject::connect(host.get(), &MenuBarExtraHost::closeRequested, shell->store(),
                     &BerthkeepStore::quit);
    host->show();

    const int status = QApplication::exec();

    // Views first, then the store (its power registration and last writes),
    // then the machine's services.
    host.reset();
    shell.reset();
    platform.reset();
    return status;
}
