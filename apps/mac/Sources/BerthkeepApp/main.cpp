// The program: a menu-bar agent over the live services, on the machine the
// platform layers stand for.
#include <QApplication>

#include <memory>

#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Shell/BerthkeepMenubarProductScenes.hpp"
#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"
#include "BerthkeepApp/TerminationSignalWatcher.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/System/DisplayPlatformChoice.hpp"

using namespace berthkeep;

int main(int argc, char** argv) {
    DisplayPlatformChoice::applyToProcess("Berthkeep");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Berthkeep"));
    // An agent: closing a window never ends it, only Quit or a signal does.
    QApplication::setQuitOnLastWindowClosed(false);

    TerminationSignalWatcher signalWatcher;
    // exit, not quit: quit asks the windows to close first, and the menu's
    // window refuses.
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &application,
                     [] { QCoreApplication::exit(0); });

    BerthkeepRustBridgeBootstrap::registerFactories();
    const auto bundle = AppBundle::main();
    BerthkeepUpdaterController updater(bundle->infoDictionary(), AbsentSoftwareUpdater::factory());

    auto platform = std::make_shared<BerthkeepLivePlatform>(
        BerthkeepLivePlatform::simulatedMachine(SimulatedStateFile::fromEnvironment(), *bundle));
    auto scenes = std::make_unique<BerthkeepMenubarProductScenes>(
        std::move(platform), updater.isUpdateCommandAvailable(),
        [&updater] { updater.checkForUpdates(); });
    scenes->show();

    const int status = QApplication::exec();

    // Views first, then the store (its power registration and last writes),
    // then the machine's services.
    scenes.reset();
    return status;
}
