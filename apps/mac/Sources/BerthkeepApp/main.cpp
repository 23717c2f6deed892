// The program: a menu-bar agent over the live services, on the machine the
// platform layers stand for.
#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Shell/BerthkeepMenubarProductScenes.hpp"
#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"
#include "BerthkeepApp/SingleInstanceLock.hpp"
#include "BerthkeepApp/TerminationSignalWatcher.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/PendingWriteRetrier.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/System/DisplayPlatformChoice.hpp"

using namespace berthkeep;

namespace {

// How long quitting waits for cancelled work: past a child's grace period (the
// eject's is a second), well within what a user or a session manager waits.
constexpr std::chrono::milliseconds quitWorkLimit{1500};

// How often the one-copy lock's folders are looked at beside the watch on
// them: a change no watch sees (a folder higher up renamed) is rare.
constexpr std::chrono::seconds lockCheckInterval{5};

// Catches the ending signals before any library's start-up code runs (the
// sanitizer builds spend a tenth of a second there): a signal in start-up then
// ends the program through its loop like any other.
void installSignalHandlersFirst(int, char**, char**) {
    TerminationSignalWatcher::installHandlers();
}
using PreinitFunction = void (*)(int, char**, char**);
__attribute__((section(".preinit_array"), used)) const PreinitFunction catchSignalsFirst =
    installSignalHandlersFirst;

} // namespace

int main(int argc, char** argv) {
    const auto runtimeFolder = SingleInstanceLock::provideRuntimeFolder();
    DisplayPlatformChoice::applyToProcess("Berthkeep");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Berthkeep"));
    // An agent: closing a window never ends it, only Quit or a signal does.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstanceLock instanceLock(FileUserDefaults::defaultFolder(), runtimeFolder);
    switch (instanceLock.tryLock()) {
    case SingleInstanceLock::Outcome::heldByAnother: {
        const auto& holder = instanceLock.holder();
        // A holder the system does not name (in another process namespace, or
        // on a file system the kernel's lock list shows by other device
        // numbers) is taken for a copy, as a second start of one expects.
        if (!holder || holder->isCopy()) {
            if (holder) {
                std::fprintf(stderr,
                             "Berthkeep is already running for this user (process %d; its lock: "
                             "%s); this copy ends.\n",
                             holder->pid, instanceLock.heldPath().c_str());
            } else {
                std::fprintf(stderr,
                             "Berthkeep is already running for this user (its lock %s is held by "
                             "a process the system does not name); this copy ends.\n",
                             instanceLock.heldPath().c_str());
            }
            return 0;
        }
        // Not a copy of ours: nothing of Berthkeep runs, so this is no success.
        std::fprintf(stderr,
                     "Berthkeep cannot start: its one-copy lock %s is held by process %d (%s), "
                     "which is not Berthkeep; this copy ends.\n",
                     instanceLock.heldPath().c_str(), holder->pid, holder->name.c_str());
        return 1;
    }
    case SingleInstanceLock::Outcome::unavailable: {
        // Without either lock another copy may be running unseen, and a second
        // sleep handler would eject beside it: better no copy than two.
        std::string failures = instanceLock.preferencesFailure();
        if (!instanceLock.runtimeFailure().empty()) {
            failures += "; " + instanceLock.runtimeFailure();
        }
        std::fprintf(stderr,
                     "Berthkeep cannot take its one-copy lock (%s); another copy may be running, "
                     "so this one ends.\n",
                     failures.c_str());
        return 1;
    }
    case SingleInstanceLock::Outcome::acquired:
        for (const auto& lock : instanceLock.notCounted()) {
            std::fprintf(stderr,
                         "Berthkeep: its one-copy lock %s; a lock another user's process holds is "
                         "no copy of this user's and is not counted.\n",
                         lock.c_str());
        }
        if (!instanceLock.madePrivate().empty()) {
            std::fprintf(stderr,
                         "Berthkeep: its preferences folder %s was open to other users; it is "
                         "made private to this user.\n",
                         instanceLock.madePrivate().c_str());
        }
        if (!instanceLock.linkedLeftOpen().empty()) {
            std::fprintf(stderr,
                         "Berthkeep: its preferences folder %s is a link to %s, which is open to "
                         "other users; a folder it links to is the user's and is left as it is.\n",
                         FileUserDefaults::defaultFolder().c_str(),
                         instanceLock.linkedLeftOpen().c_str());
        }
        if (!instanceLock.lockFileFailure().empty()) {
            std::fprintf(stderr,
                         "Berthkeep: the lock file beside the preferences cannot be used (%s); "
                         "the lock on the preferences folder itself keeps a second copy out.\n",
                         instanceLock.lockFileFailure().c_str());
        }
        if (!instanceLock.preferencesFailure().empty()) {
            std::fprintf(stderr,
                         "Berthkeep: the one-copy lock beside the preferences cannot be made (%s); "
                         "the session's lock alone keeps a second copy out.\n",
                         instanceLock.preferencesFailure().c_str());
        }
        if (!instanceLock.runtimeFailure().empty()) {
            std::fprintf(stderr,
                         "Berthkeep: the session's one-copy lock cannot be made (%s); the lock "
                         "beside the preferences still keeps a second copy out.\n",
                         instanceLock.runtimeFailure().c_str());
        }
        break;
    }

    // The locked folders may change under a running copy; a copy started
    // then must still find this one. Seen at once where a watch can see it,
    // and by a slow look for what it cannot (a folder higher up).
    QFileSystemWatcher lockFolders;
    QTimer lockCheck;
    QTimer lockRecheck;
    lockRecheck.setSingleShot(true);
    std::string lastRenewalSaid;
    // A folder gone and made again is a new one to watch.
    const auto watchLockFolders = [&instanceLock, &lockFolders] {
        for (const auto& folder : instanceLock.watchedFolders()) {
            const QString path = QString::fromStdString(folder);
            if (!lockFolders.directories().contains(path) && QFileInfo(path).isDir()) {
                lockFolders.addPath(path);
            }
        }
    };
    const auto keepTheLock = [&instanceLock, &watchLockFolders, &lastRenewalSaid, &lockRecheck] {
        const auto renewal = instanceLock.renew();
        switch (renewal.kind) {
        case SingleInstanceLock::Renewal::Kind::unchanged:
            break;
        case SingleInstanceLock::Renewal::Kind::renewed:
            lastRenewalSaid.clear();
            std::fprintf(stderr,
                         "Berthkeep: %s changed while it ran; its one-copy lock is taken again "
                         "there.\n",
                         renewal.folder.c_str());
            break;
        case SingleInstanceLock::Renewal::Kind::contested:
            lockRecheck.start(SingleInstanceLock::contestedRecheck);
            break;
        case SingleInstanceLock::Renewal::Kind::heldByAnother: {
            // Two copies on one user's files never run on: this one gives way.
            const auto& holder = instanceLock.holder();
            if (holder) {
                std::fprintf(stderr,
                             "Berthkeep: %s changed while it ran, and process %d (%s) holds the "
                             "one-copy lock there now; this copy ends.\n",
                             renewal.folder.c_str(), holder->pid, holder->name.c_str());
            } else {
                std::fprintf(stderr,
                             "Berthkeep: %s changed while it ran, and a process the system does "
                             "not name holds the one-copy lock there now; this copy ends.\n",
                             renewal.folder.c_str());
            }
            QCoreApplication::exit(0);
            return;
        }
        case SingleInstanceLock::Renewal::Kind::waiting:
            if (lastRenewalSaid != renewal.folder) {
                lastRenewalSaid = renewal.folder;
                std::fprintf(stderr,
                             "Berthkeep: %s is gone; its one-copy lock is taken again once the "
                             "folder is there again.\n",
                             renewal.folder.c_str());
            }
            break;
        case SingleInstanceLock::Renewal::Kind::failed:
            if (renewal.why != lastRenewalSaid) {
                lastRenewalSaid = renewal.why;
                std::fprintf(stderr,
                             "Berthkeep: %s changed while it ran, and its one-copy lock cannot be "
                             "taken again there (%s); it tries again when the folder changes.\n",
                             renewal.folder.c_str(), renewal.why.c_str());
            }
            break;
        }
        watchLockFolders();
    };
    watchLockFolders();
    QObject::connect(&lockFolders, &QFileSystemWatcher::directoryChanged, keepTheLock);
    QObject::connect(&lockCheck, &QTimer::timeout, keepTheLock);
    QObject::connect(&lockRecheck, &QTimer::timeout, keepTheLock);
    lockCheck.start(lockCheckInterval);

    TerminationSignalWatcher signalWatcher;
    // exit, not quit: quit asks the windows to close first, and the menu's
    // window refuses.
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &application,
                     [] { QCoreApplication::exit(0); });

    // Preferences, the telemetry queue and what was learned, refused by a full
    // disk, are written again until they are kept.
    PendingWriteRetrier pendingWrites(LiveClock::shared());

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

    // Last chances for writes a full disk refused: before the stores go, and
    // after their own last writes.
    AtomicFileWriter::retryAllPending();
    // Children stop first, so their grace runs while the rest goes. Then views,
    // the store (its power registration and last writes) and the machine's
    // services: work resumed after this finds its owner gone and records
    // nothing.
    cancelAllProcesses();
    scenes.reset();
    // The cancelled work ends before the application object, which would
    // otherwise wait on the pool and then drop what the work hands back.
    const bool finished = finishDetachedWork(quitWorkLimit);
    if (!AtomicFileWriter::retryAllPending()) {
        std::fprintf(stderr, "Berthkeep: some settings could not be saved at quit.\n");
    }
    if (!finished) {
        std::fprintf(stderr, "Berthkeep: work still running at quit is left behind.\n");
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
