// Times Eject All on the simulated machine, the way the menu starts it: the
// program's own scenes and store over $BERTHKEEP_SIM_STATE. scripts/bench runs it;
// it is never part of the product or the test suite.
//
//   berthkeep-eject-all-bench DRIVES [QUIET_SECONDS]
//
// Waits until DRIVES managed drives are mounted and no action runs, lets the
// start-up's checks end for QUIET_SECONDS (5), then prints one line:
//   eject_all_ms=<ms> still_mounted=<count>
// Ends with 2 when the drives are not all seen within two minutes.

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Shell/BerthkeepMenubarProductScenes.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/System/DisplayPlatformChoice.hpp"

using namespace berthkeep;

namespace {

constexpr std::chrono::minutes readyLimit{2};

QCoro::Task<void> timeEjectAll(QPointer<BerthkeepStore> store) {
    const auto started = std::chrono::steady_clock::now();
    co_await store->runUtilityAction(MenubarUtilityAction::Kind::ejectAll);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const std::size_t stillMounted = store ? store->mountedManagedDriveIDs().size() : 0;
    std::printf("eject_all_ms=%lld still_mounted=%zu\n", static_cast<long long>(elapsed.count()),
                stillMounted);
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DRIVES [QUIET_SECONDS]\n", argv[0]);
        return 64;
    }
    const std::size_t drives = std::strtoul(argv[1], nullptr, 10);
    const int quietSeconds = argc > 2 ? std::atoi(argv[2]) : 5;

    DisplayPlatformChoice::applyToProcess("Berthkeep");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Berthkeep"));
    QApplication::setQuitOnLastWindowClosed(false);

    BerthkeepRustBridgeBootstrap::registerFactories();
    const auto bundle = AppBundle::main();
    auto platform = std::make_shared<BerthkeepLivePlatform>(
        BerthkeepLivePlatform::simulatedMachine(SimulatedStateFile::fromEnvironment(), *bundle));
    auto scenes = std::make_unique<BerthkeepMenubarProductScenes>(std::move(platform));
    scenes->show();

    QPointer<BerthkeepStore> store(&scenes->store());
    const auto deadline = std::chrono::steady_clock::now() + readyLimit;
    QTimer readiness;
    readiness.setInterval(50);
    QObject::connect(&readiness, &QTimer::timeout, &application, [&] {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "the %zu drives were not all seen mounted\n", drives);
            QCoreApplication::exit(2);
            return;
        }
        if (store->mountedManagedDriveIDs().size() != drives || store->ejectAttempt().isRunning()) {
            return;
        }
        readiness.stop();
        QTimer::singleShot(std::chrono::seconds(quietSeconds), &application, [store] {
            startMainActorTask([store] { return timeEjectAll(store); }, "eject all bench");
        });
    });
    readiness.start();

    const int status = QApplication::exec();
    cancelAllProcesses();
    scenes.reset();
    finishDetachedWork(std::chrono::milliseconds(1500));
    return status;
}
