#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "../Inventory/InventoryTestSupport.hpp"
#include "Fifo.hpp"
#include "FileText.hpp"
#include "FullFileSystem.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// A desktop session of the test's own, as a user's desktop has one: an X
// server, a session bus, and on them a tray host and a notification daemon.
class DesktopSession {
public:
    ~DesktopSession() {
        for (QProcess* process : {&m_notifications, &m_tray, &m_bus, &m_server}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
    }

    // Empty when the session runs, else what is missing.
    std::string start() {
        for (const char* program : {"Xvfb", "dbus-daemon", "trayer", "dunst"}) {
            if (QStandardPaths::findExecutable(program).isEmpty()) {
                return std::string(program) + " is not installed";
            }
        }
        // Each prints where to reach it: the display number, the bus address.
        m_server.start("Xvfb",
                       {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        const QString number = firstLine(m_server);
        m_busAddress = firstLine(m_bus);
        if (number.isEmpty() || m_busAddress.isEmpty()) {
            return "the X server or the session bus did not start";
        }
        m_display = ":" + number;

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", m_display);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        m_tray.setProcessEnvironment(environment);
        m_tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request"});
        m_notifications.setProcessEnvironment(environment);
        m_notifications.start("dunst", {});
        if (!waitUntil([this] { return trayHostRuns() && notificationServiceRuns(); })) {
            return "the tray host or the notification daemon did not start";
        }
        return {};
    }

    const QString& display() const { return m_display; }
    const QString& busAddress() const { return m_busAddress; }

private:
    // Long enough for a loaded machine: a session that never starts skips the test.
    static constexpr auto startWait = 30s;

    static QString firstLine(QProcess& process) {
        const auto deadline = SteadyClock::now() + startWait;
        while (!process.canReadLine() && SteadyClock::now() < deadline &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
        }
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    static bool waitUntil(const std::function<bool()>& condition) {
        const auto deadline = SteadyClock::now() + startWait;
        while (!condition()) {
            if (SteadyClock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    bool trayHostRuns() const {
        xcb_connection_t* connection = xcb_connect(m_display.toUtf8().constData(), nullptr);
        bool owned = false;
        if (!xcb_connection_has_error(connection)) {
            const char name[] = "_NET_SYSTEM_TRAY_S0";
            auto* atom = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
            if (atom) {
                auto* owner = xcb_get_selection_owner_reply(
                    connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
                owned = owner && owner->owner != XCB_WINDOW_NONE;
                std::free(owner);
                std::free(atom);
            }
        }
        xcb_disconnect(connection);
        return owned;
    }

    bool notificationServiceRuns() const {
        const QString name = QStringLiteral("berthkeep-test-desktop-session");
        bool registered = false;
        {
            QDBusConnection connection = QDBusConnection::connectToBus(m_busAddress, name);
            registered =
                connection.isConnected() && connection.interface()->isServiceRegistered(
                                                QStringLiteral("org.freedesktop.Notifications"));
        }
        QDBusConnection::disconnectFromBus(name);
        return registered;
    }

    QProcess m_server;
    QProcess m_bus;
    QProcess m_tray;
    QProcess m_notifications;
    QString m_display;
    QString m_busAddress;
};

// A process of another user's (nobody) with a lock on a file or folder of this
// user's, through a descriptor opened while its mode let anyone open it: it
// holds the lock, or waits for it in a blocking flock.
class OtherUsersLock {
public:
    static constexpr uid_t nobody = 65534;

    OtherUsersLock(const std::string& path, const char* commandName) {
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        int reply[2] = {-1, -1};
        if (descriptor < 0 || ::pipe2(reply, O_CLOEXEC) != 0) {
            return;
        }
        m_child = ::fork();
        if (m_child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0) {
                ::_exit(1);
            }
            ::prctl(PR_SET_NAME, commandName);
            ::flock(descriptor, LOCK_EX);
            const char held = 'h';
            [[maybe_unused]] const auto told = ::write(reply[1], &held, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(descriptor);
        ::close(reply[1]);
        m_reply = reply[0];
    }
    ~OtherUsersLock() {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        if (m_reply >= 0) {
            ::close(m_reply);
        }
    }
    OtherUsersLock(const OtherUsersLock&) = delete;
    OtherUsersLock& operator=(const OtherUsersLock&) = delete;

    // Waits until it holds the lock.
    bool waitUntilItHolds(std::chrono::milliseconds limit = 15s) const {
        pollfd reply{m_reply, POLLIN, 0};
        char held = 0;
        return m_reply >= 0 && ::poll(&reply, 1, static_cast<int>(limit.count())) == 1 &&
               ::read(m_reply, &held, 1) == 1 && held == 'h';
    }

private:
    pid_t m_child = -1;
    int m_reply = -1;
};

// The built program, as scripts start it: offscreen, on a machine of its own,
// with its files and its runtime folder (where its one-copy lock lives) in
// folders of the test's, so tests running side by side do not meet.
class ProgramOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    void SetUp() override {
        inventorytest::SimulatedMachineTest::SetUp();
        ASSERT_TRUE(m_home.isValid());
        const QString runtime = m_home.filePath("runtime");
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString homePath(const QString& name) const { return m_home.filePath(name); }

    // Programs started from here on run in this session instead of offscreen.
    void runIn(const DesktopSession& desktop) { m_desktop = &desktop; }
    // Programs started from here on run through this command (its arguments
    // first, then the program's path).
    void runThrough(QStringList command) { m_wrapper = std::move(command); }
    // Programs started from here on are started through this path (a link).
    void runAs(QString program) { m_program = std::move(program); }

    // A machine with one mounted USB stick.
    void makeMachineWithStick() {
        SimulatedWorld world;
        world.mountRoot = mountRoot();
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Travel Stick"));
        stateFile().write(world);
    }

    // The runtime folder is given, or left out as outside a login session.
    void start(QProcess& program, std::optional<QString> runtime = std::nullopt,
               std::optional<QString> config = std::nullopt) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (m_desktop) {
            environment.insert("QT_QPA_PLATFORM", "xcb");
            environment.insert("DISPLAY", m_desktop->display());
            environment.insert("DBUS_SESSION_BUS_ADDRESS", m_desktop->busAddress());
        } else {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        }
        environment.insert("XDG_CONFIG_HOME", config.value_or(m_home.filePath("config")));
        environment.insert("XDG_DATA_HOME", m_home.filePath("data"));
        environment.insert("XDG_CACHE_HOME", m_home.filePath("cache"));
        environment.insert("TMPDIR", m_home.path());
        if (!runtime) {
            environment.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        } else if (runtime->isEmpty()) {
            environment.remove("XDG_RUNTIME_DIR");
        } else {
            environment.insert("XDG_RUNTIME_DIR", *runtime);
        }
        program.setProcessEnvironment(environment);
        if (m_wrapper.isEmpty()) {
            program.start(m_program, {});
        } else {
            program.start(m_wrapper.front(), m_wrapper.mid(1) << m_program);
        }
        ASSERT_TRUE(program.waitForStarted(5000));
    }

    // Reads its standard error (where its log lines go) until `text` shows.
    static bool waitForLog(QProcess& program, QByteArray& log, const char* text) {
        const auto deadline = SteadyClock::now() + 30s;
        while (!log.contains(text) && SteadyClock::now() < deadline &&
               program.state() == QProcess::Running) {
            program.waitForReadyRead(200);
            log += program.readAllStandardError();
        }
        return log.contains(text);
    }

    // Starts the program, waits until the stick shows in a usage probe, then ends
    // it with the signal and expects a clean end.
    void startUntilTheStickShowsThenEnd(int signal) {
        QProcess program;
        start(program);
        QByteArray log;
        EXPECT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
        signalAndExpectCleanEnd(program, signal, log);
    }

    // Sends the signal and expects a clean end with status 0; returns how long
    // the end took.
    static SteadyClock::duration signalAndExpectCleanEnd(QProcess& program, int signal,
                                                         QByteArray& log) {
        const auto sent = SteadyClock::now();
        ::kill(static_cast<pid_t>(program.processId()), signal);
        EXPECT_TRUE(program.waitForFinished(15000));
        const auto took = SteadyClock::now() - sent;
        log += program.readAllStandardError();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << log.toStdString();
        EXPECT_FALSE(log.contains("work is dropped")) << log.toStdString();
        stopIfStillRunning(program);
        return took;
    }

    // A program a failed expectation left running goes with the test.
    static void stopIfStillRunning(QProcess& program) {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    // Waits until the program catches the signal: before that, while the
    // loader maps it, a signal ends it the default way.
    static bool waitUntilItCatches(const QProcess& program, int signal) {
        const auto deadline = SteadyClock::now() + 10s;
        const std::string status = "/proc/" + std::to_string(program.processId()) + "/status";
        while (SteadyClock::now() < deadline) {
            std::ifstream file(status);
            std::string line;
            while (std::getline(file, line)) {
                if (line.rfind("SigCgt:", 0) == 0 &&
                    (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1u) != 0) {
                    return true;
                }
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    // Stand-in tool processes of this machine running `verb` right now.
    std::vector<pid_t> standInsRunning(const std::string& tool, const std::string& verb) const {
        std::vector<pid_t> found;
        const std::string machine =
            std::string(SimulatedStateFile::environmentVariable) + "=" + stateFile().path();
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
            bool isNumber = false;
            const pid_t pid = entry.toInt(&isNumber);
            if (!isNumber) {
                continue;
            }
            const auto arguments = readZeroSeparated("/proc/" + entry.toStdString() + "/cmdline");
            if (arguments.size() < 2 || arguments[0] != inventorytest::standInPath(tool) ||
                arguments[1] != verb || processIsZombie(pid)) {
                continue;
            }
            const auto environment = readZeroSeparated("/proc/" + entry.toStdString() + "/environ");
            if (std::find(environment.begin(), environment.end(), machine) != environment.end()) {
                found.push_back(pid);
            }
        }
        return found;
    }

    bool waitForStandIn(const std::string& tool, const std::string& verb) const {
        const auto deadline = SteadyClock::now() + 30s;
        while (standInsRunning(tool, verb).empty()) {
            if (SteadyClock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    std::string preferencesLockPath() const {
        return homePath("config/Berthkeep/berthkeep.lock").toStdString();
    }

    // Holds the preferences folder's lock, as another process would: its
    // descriptor, or -1 when it cannot.
    int holdPreferencesLock() const {
        QDir().mkpath(homePath("config/Berthkeep"));
        const int holder =
            ::open(preferencesLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) != 0) {
            ::close(holder);
            return -1;
        }
        return holder;
    }

    static bool canRunInAProcessNamespaceOfItsOwn() {
        return ::geteuid() == 0 && !QStandardPaths::findExecutable("unshare").isEmpty();
    }

    // Starts a copy in another session (the runtime folder given) and expects
    // it to find the running one and end well; what it said.
    QByteArray expectACopyInAnotherSessionToEnd(const QString& runtime) const {
        QProcess second;
        start(second, runtime);
        EXPECT_TRUE(second.waitForFinished(15000));
        const QByteArray said = second.readAllStandardError();
        EXPECT_EQ(second.exitCode(), 0) << said.toStdString();
        EXPECT_TRUE(said.contains("already running")) << said.toStdString();
        stopIfStillRunning(second);
        return said;
    }

    // Tells the program the machine is about to sleep: it ejects its drives.
    void sendWillSleep() const {
        QProcess power;
        power.start(QString::fromStdString(inventorytest::standInPath("berthkeep-sim")),
                    {"power", "will-sleep"});
        ASSERT_TRUE(power.waitForFinished(30000));
        ASSERT_EQ(power.exitCode(), 0) << power.readAllStandardError().toStdString();
    }

    // The same, waiting for the answer: the tool's one JSON line.
    QByteArray sendWillSleepAndWait() const {
        QProcess power;
        power.start(QString::fromStdString(inventorytest::standInPath("berthkeep-sim")),
                    {"power", "will-sleep", "--wait", "30"});
        EXPECT_TRUE(power.waitForFinished(40000));
        return power.readAllStandardOutput();
    }

private:
    static std::vector<std::string> readZeroSeparated(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::vector<std::string> parts;
        for (std::string part; std::getline(file, part, '\0');) {
            parts.push_back(part);
        }
        return parts;
    }

    static bool processIsZombie(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        std::getline(stat, text);
        const auto close = text.rfind(')');
        return close == std::string::npos || close + 2 >= text.size() || text[close + 2] == 'Z';
    }

    QTemporaryDir m_home;
    const DesktopSession* m_desktop = nullptr;
    QStringList m_wrapper;
    QString m_program = QStringLiteral(BERTHKEEP_PROGRAM_PATH);
};

// It shows the machine's drive and ends cleanly on each of the signals that
// ask a program to end.
TEST_F(ProgramOnSimulatedMachine, StartsAndEndsCleanlyOnTermIntAndHup) {
    makeMachineWithStick();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        startUntilTheStickShowsThenEnd(signal);
    }
}

// With a tray host and a notification daemon on a session bus, an idle
// program ends on each signal as promptly as offscreen: quitting waits out
// nothing of the tray's or the bus's.
TEST_F(ProgramOnSimulatedMachine, InADesktopSessionAnIdleProgramEndsPromptlyOnEachSignal) {
    DesktopSession desktop;
    if (const std::string missing = desktop.start(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    runIn(desktop);
    makeMachineWithStick();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QProcess program;
        start(program);
        QByteArray log;
        ASSERT_TRUE(waitForLog(program, log, "usage_probe.completed")) << log.toStdString();
        const auto took = signalAndExpectCleanEnd(program, signal, log);
        // An idle end takes a fifth of a second; quitting's wait for work (1.5 s)
        // must never be what ends it.
        EXPECT_LT(took, 1200ms);
        EXPECT_FALSE(log.contains("left behind")) << log.toStdString();
    }
}

// Start-up runs several things at once (the launch refresh, its usage probe,
// telemetry); a signal landing in any of them still ends with 0 and leaves
// nothing running behind.
TEST_F(ProgramOnSimulatedMachine, EndsCleanlyWhenSignalledAtAnyMomentOfStartUp) {
    makeMachineWithStick();
    for (const auto after : {0ms, 50ms, 150ms, 300ms, 450ms, 700ms, 1000ms, 2000ms}) {
        SCOPED_TRACE(after.count());
        QProcess program;
        start(program);
        ASSERT_TRUE(waitUntilItCatches(program, SIGTERM));
        std::this_thread::sleep_for(after);
        QByteArray log;
        signalAndExpectCleanEnd(program, SIGTERM, log);
    }
}

// An eject that hangs and shrugs off SIGTERM: quitting stops it (SIGKILL after
// its grace) and does not wait for its own minute-long limit.
TEST_F(ProgramOnSimulatedMachine, QuitsPromptlyWhileAnEjectHangs) {
    makeMachineWithStick();
    addHangIgnoringTerminate("eject");
    QProcess program;
    start(program);
    QByteArray log;
    ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
    sendWillSleep();
    ASSERT_TRUE(waitForStandIn("diskutil", "eject")) << log.toStdString();
    // Quitting before it shrugs off SIGTERM would end it without the kill.
    ASSERT_TRUE(waitUntilHangBegan()) << log.toStdString();

    const auto took = signalAndExpectCleanEnd(program, SIGTERM, log);
    EXPECT_LT(took, 4s);
    EXPECT_TRUE(standInsRunning("diskutil", "eject").empty());
}

// A listing that names thousands of disks makes a refresh that cannot finish
// for minutes, most of it not in a child; quitting does not wait for it.
TEST_F(ProgramOnSimulatedMachine, QuitsPromptlyDuringARefreshThatCannotFinish) {
    makeMachineWithStick();
    std::string disks;
    for (int disk = 10; disk < 10'010; ++disk) {
        disks += "<string>disk" + std::to_string(disk) + "</string>";
    }
    ScriptedBehaviour list;
    list.verb = "list";
    list.exitStatus = 0;
    list.standardOutput = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">"
                          "<dict><key>AllDisks</key><array>" +
                          disks + "</array></dict></plist>";
    // Once: the machine's file stays small for everything else that reads it.
    list.remainingUses = 1;
    addBehaviour(list);
    QProcess program;
    start(program);
    const auto deadline = SteadyClock::now() + 60s;
    while (!stateFile().read().behaviours.empty() && SteadyClock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(stateFile().read().behaviours.empty()) << "the listing was never asked for";
    // The refresh is now deep in the disks it was given.
    std::this_thread::sleep_for(500ms);

    QByteArray log;
    const auto took = signalAndExpectCleanEnd(program, SIGTERM, log);
    EXPECT_LT(took, 4s);
    EXPECT_TRUE(standInsRunning("diskutil", "info").empty());
}

// A second start on the same user's files says so and leaves; the first runs on.
TEST_F(ProgramOnSimulatedMachine, SecondCopyLeavesTheFirstRunning) {
    makeMachineWithStick();
    QProcess first;
    start(first);
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("already running"));
    EXPECT_EQ(first.state(), QProcess::Running);

    signalAndExpectCleanEnd(first, SIGTERM, log);
}

// Outside a login session the program names the runtime folder Qt and
// scripts/run fall back to, so Qt does not warn and a copy started with that
// folder given finds the lock.
TEST_F(ProgramOnSimulatedMachine, WithoutARuntimeFolderTheLockIsWhereTheFallbackIs) {
    makeMachineWithStick();
    QProcess first;
    start(first, QString());
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
    EXPECT_FALSE(log.contains("XDG_RUNTIME_DIR")) << log.toStdString();

    const QString fallback =
        homePath(QStringLiteral("runtime-") + ::getpwuid(::geteuid())->pw_name);
    EXPECT_TRUE(QFile::exists(fallback + "/berthkeep.lock"));
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                        QFile::WriteOther | QFile::ExeOther;
    EXPECT_FALSE(QFile::permissions(fallback) & others);
    QProcess second;
    start(second, fallback);
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("already running"));

    signalAndExpectCleanEnd(first, SIGTERM, log);
}

// What a copy owns is the user's files: two copies on the same preferences
// find each other whichever runtime folder each was given, one none at all.
TEST_F(ProgramOnSimulatedMachine, CopiesOnTheSameFilesFindEachOtherWhateverTheirRuntimeFolders) {
    makeMachineWithStick();
    QProcess first;
    start(first, QString());
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();

    QProcess second;
    start(second, homePath("runtime"));
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    const QByteArray said = second.readAllStandardError();
    EXPECT_TRUE(said.contains("already running")) << said.toStdString();
    EXPECT_TRUE(said.contains(homePath("config/Berthkeep/berthkeep.lock").toUtf8()))
        << said.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    signalAndExpectCleanEnd(first, SIGTERM, log);
}

// Lock files left behind, empty or holding no process id, are no one's: only
// a running holder keeps the next copy out.
TEST_F(ProgramOnSimulatedMachine, LockFilesLeftBehindWhateverTheyHoldDoNotBlockTheStart) {
    makeMachineWithStick();
    ASSERT_TRUE(QDir().mkpath(homePath("config/Berthkeep")));
    for (const auto& [path, content] :
         {std::pair(homePath("config/Berthkeep/berthkeep.lock"), QByteArray()),
          std::pair(homePath("runtime/berthkeep.lock"), QByteArray("not a process\n"))}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    startUntilTheStickShowsThenEnd(SIGTERM);
}

// Locks that cannot be made leave open whether another copy runs: this one
// says so and ends before it answers any power message.
TEST_F(ProgramOnSimulatedMachine, WithoutItsLockItSaysSoAndDoesNotRun) {
    makeMachineWithStick();
    // Neither the preferences folder nor the runtime folder can be made: a
    // file holds each name.
    ASSERT_TRUE(QDir().mkpath(homePath("blocked")));
    QFile blocker(homePath("blocked/Berthkeep"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess program;
    start(program, homePath("blocked/Berthkeep"), homePath("blocked"));
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(program.exitCode(), 0);
    const QByteArray said = program.readAllStandardError();
    EXPECT_TRUE(said.contains("cannot take its one-copy lock")) << said.toStdString();
    EXPECT_FALSE(said.contains("Travel Stick")) << said.toStdString();
}

// Pipes where its three files belong (the preferences, the telemetry queue,
// what was learned) are files it cannot read: it runs on, ejects the drive for
// sleep and answers, and ends promptly.
TEST_F(ProgramOnSimulatedMachine, WithPipesForItsFilesItStillEjectsForSleepAndEndsPromptly) {
    makeMachineWithStick();
    const test::Fifo preferences(
        homePath("config/Berthkeep/app.berthkeep.Berthkeep.plist").toStdString());
    const test::Fifo queue(homePath("data/Berthkeep/telemetry-queue.json").toStdString());
    const test::Fifo learned(
        homePath("data/Berthkeep/targeted-assist-learning.json").toStdString());
    ASSERT_TRUE(preferences.made() && queue.made() && learned.made());
    QProcess program;
    start(program);
    QByteArray log;
    ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();

    const QByteArray answer = sendWillSleepAndWait();
    EXPECT_TRUE(answer.contains("\"acknowledged\":true")) << answer.toStdString();
    const SimulatedWorld world = stateFile().read();
    EXPECT_EQ(world.parkedDisks.size(), 1u) << answer.toStdString() << log.toStdString();

    const auto took = signalAndExpectCleanEnd(program, SIGTERM, log);
    EXPECT_LT(took, 3s);
}

// Links where its lock file or its runtime folder belong lead to no lock of
// the program's: neither is followed, a lock file that is a hard link is
// never written, the file either leads to stays as it was, and the
// preferences folder's own lock keeps a copy in another session out.
TEST_F(ProgramOnSimulatedMachine, LinksForItsLockFileOrRuntimeFolderAreNotFollowed) {
    makeMachineWithStick();
    ASSERT_TRUE(QDir().mkpath(homePath("config/Berthkeep")));
    const std::string notes = homePath("notes.txt").toStdString();
    const QString linkedRuntime = homePath("linked-runtime");
    ASSERT_TRUE(QFile::link(homePath("runtime"), linkedRuntime));
    for (const auto makeLink : {&::symlink, &::link}) {
        SCOPED_TRACE(makeLink == &::link ? "a hard link" : "a symbolic link");
        std::ofstream(notes) << "the user's own\n";
        std::filesystem::remove(preferencesLockPath());
        ASSERT_EQ(makeLink(notes.c_str(), preferencesLockPath().c_str()), 0);

        QProcess program;
        start(program, linkedRuntime);
        QByteArray log;
        ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
        EXPECT_TRUE(log.contains((linkedRuntime + " is not used: it is a symbolic link").toUtf8()))
            << log.toStdString();
        EXPECT_FALSE(log.contains("the session's lock alone")) << log.toStdString();
        expectACopyInAnotherSessionToEnd(homePath("runtime"));
        EXPECT_EQ(program.state(), QProcess::Running);

        signalAndExpectCleanEnd(program, SIGTERM, log);
        EXPECT_EQ(test::fileText(notes), "the user's own\n");
    }
}

// A lock held by some other program is no running copy, whatever its command
// name (here this test's, then the program's own): the start fails and says
// who holds it.
TEST_F(ProgramOnSimulatedMachine, ALockHeldByAnotherProgramIsNamedAndTheStartFails) {
    makeMachineWithStick();
    const std::string lockPath = preferencesLockPath();
    char ownName[16] = {};
    ASSERT_EQ(::prctl(PR_GET_NAME, ownName), 0);
    for (const char* name : {static_cast<const char*>(ownName), "Berthkeep"}) {
        SCOPED_TRACE(name);
        const std::string kept = name;
        ::prctl(PR_SET_NAME, kept.c_str());
        const int holder = holdPreferencesLock();
        ASSERT_GE(holder, 0);

        QProcess program;
        start(program);
        ASSERT_TRUE(program.waitForFinished(15000));
        ::close(holder);
        ::prctl(PR_SET_NAME, ownName);
        EXPECT_NE(program.exitCode(), 0);
        const QByteArray said = program.readAllStandardError();
        EXPECT_FALSE(said.contains("already running")) << said.toStdString();
        EXPECT_TRUE(said.contains(("held by process " + std::to_string(::getpid())).c_str()))
            << said.toStdString();
        EXPECT_TRUE(said.contains(lockPath.c_str())) << said.toStdString();
    }
}

// Started through a link of another name, as a package's launcher starts it,
// a running copy is still known by what it runs: a second start, through the
// link or not, says it is already running and ends well.
TEST_F(ProgramOnSimulatedMachine, ACopyStartedThroughALinkOfAnotherNameIsKnownByWhatItRuns) {
    makeMachineWithStick();
    const QString link = homePath("bin/berthkeep");
    ASSERT_TRUE(QDir().mkpath(homePath("bin")));
    ASSERT_TRUE(QFile::link(QStringLiteral(BERTHKEEP_PROGRAM_PATH), link));
    runAs(link);
    QProcess first;
    start(first);
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();

    for (const QString& program : {link, QStringLiteral(BERTHKEEP_PROGRAM_PATH)}) {
        SCOPED_TRACE(program.toStdString());
        runAs(program);
        expectACopyInAnotherSessionToEnd(homePath("runtime"));
        EXPECT_EQ(first.state(), QProcess::Running);
    }
    signalAndExpectCleanEnd(first, SIGTERM, log);
}

// A configuration folder the program cannot write still lets it run, and a
// copy in another session (another runtime folder) is kept out: by the lock
// file an earlier run left there (taken read-only), or, with no lock file
// there, by the lock on the folder itself.
TEST_F(ProgramOnSimulatedMachine,
       AReadOnlyConfigurationFolderStillLetsItRunAndKeepsACopyInAnotherSessionOut) {
    makeMachineWithStick();
    for (const bool lockFileLeft : {true, false}) {
        SCOPED_TRACE(lockFileLeft ? "lock file left" : "no lock file");
        test::FullFileSystem config;
        if (!config.isTmpfs()) {
            GTEST_SKIP() << "no file system of the test's own to make read-only";
        }
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(config.folder() + "/Berthkeep")));
        if (lockFileLeft) {
            QFile(QString::fromStdString(config.folder() + "/Berthkeep/berthkeep.lock"))
                .open(QIODevice::WriteOnly);
        }
        ASSERT_TRUE(config.setReadOnly(true));
        const QString folder = QString::fromStdString(config.folder());
        const QString otherSession = homePath("other-runtime");
        ASSERT_TRUE(QDir().mkpath(otherSession));

        QProcess first;
        start(first, std::nullopt, folder);
        QByteArray log;
        ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
        EXPECT_FALSE(log.contains("the session's lock alone")) << log.toStdString();
        QProcess second;
        start(second, otherSession, folder);
        ASSERT_TRUE(second.waitForFinished(15000));
        EXPECT_EQ(second.exitCode(), 0);
        const QByteArray said = second.readAllStandardError();
        EXPECT_TRUE(said.contains("already running")) << said.toStdString();
        EXPECT_EQ(first.state(), QProcess::Running);

        signalAndExpectCleanEnd(first, SIGTERM, log);
    }
}

// A holder the system does not name (here it holds the lock from outside the
// program's process namespace, as from another container) is taken for
// another copy, as a second start expects: said so, and the start ends well.
TEST_F(ProgramOnSimulatedMachine, ALockWhoseHolderCannotBeNamedIsTakenForAnotherCopy) {
    if (!canRunInAProcessNamespaceOfItsOwn()) {
        GTEST_SKIP() << "a process namespace of its own takes root and unshare";
    }
    makeMachineWithStick();
    const std::string lockPath = preferencesLockPath();
    const int holder = holdPreferencesLock();
    ASSERT_GE(holder, 0);
    runThrough({"unshare", "--pid", "--fork", "--mount-proc"});

    QProcess program;
    start(program);
    ASSERT_TRUE(program.waitForFinished(15000));
    ::close(holder);
    const QByteArray said = program.readAllStandardError();
    EXPECT_EQ(program.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains("already running")) << said.toStdString();
    EXPECT_TRUE(said.contains(lockPath.c_str())) << said.toStdString();
}

// Another user (nobody, 65534) can make, in a shared temporary folder, the
// runtime folder this user's start falls back to, or name it as the
// session's. Whatever it holds there, a link to one of this user's files or a
// lock of its own, the folder is not used, the file stays as it was, and the
// program comes up with the lock beside the preferences.
TEST_F(ProgramOnSimulatedMachine, ARuntimeFolderAnotherUserMadeIsNotUsedAndDoesNotStopTheStart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making another user's folder takes root";
    }
    constexpr uid_t nobody = 65534;
    makeMachineWithStick();
    const std::string foreign =
        homePath(QStringLiteral("runtime-") + ::getpwuid(::geteuid())->pw_name).toStdString();
    const std::string lock = foreign + "/berthkeep.lock";
    ASSERT_EQ(::mkdir(foreign.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(foreign.c_str(), 0777), 0);
    ASSERT_EQ(::chown(foreign.c_str(), nobody, nobody), 0);
    const std::string mine = homePath("notes.txt").toStdString();
    std::ofstream(mine) << "the user's own\n";
    ASSERT_EQ(::symlink(mine.c_str(), lock.c_str()), 0);
    ASSERT_EQ(::lchown(lock.c_str(), nobody, nobody), 0);

    const auto comesUp = [this, &foreign](const QString& runtime) {
        QProcess program;
        start(program, runtime);
        QByteArray log;
        EXPECT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
        EXPECT_TRUE(log.contains((foreign + " is not used").c_str())) << log.toStdString();
        signalAndExpectCleanEnd(program, SIGTERM, log);
    };
    // Outside a session, then named as the session's folder.
    for (const QString& runtime : {QString(), QString::fromStdString(foreign)}) {
        SCOPED_TRACE(runtime.toStdString());
        comesUp(runtime);
        EXPECT_EQ(test::fileText(mine), "the user's own\n");
        struct stat folder {};
        ASSERT_EQ(::lstat(foreign.c_str(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 07777, 0777u) << "another user's folder is left as it is";
    }

    // A lock that user holds there keeps no copy out.
    ASSERT_EQ(::unlink(lock.c_str()), 0);
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::fchown(held, nobody, nobody), 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    comesUp(QString::fromStdString(foreign));
    ::close(held);
}

// Another user can open a preferences folder made readable to all and lock
// it before the user starts, under any name, or wait for the lock while a
// copy runs and take it when it ends. None of that keeps the user's copy from
// starting: such a lock is not counted, the start says so and makes the
// folder private, and a second copy of the user's is still kept out.
TEST_F(ProgramOnSimulatedMachine, NoLockAnotherUserHoldsKeepsItFromStarting) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a process of another user's takes root";
    }
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    const auto comesUpAndKeepsASecondCopyOut = [this, &folder] {
        QProcess program;
        start(program);
        QByteArray log;
        ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
        EXPECT_TRUE(log.contains("of another user")) << log.toStdString();
        struct stat status {};
        EXPECT_EQ(::stat(folder.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 077, 0u) << "the folder is made private";
        expectACopyInAnotherSessionToEnd(homePath("other-runtime"));
        EXPECT_EQ(program.state(), QProcess::Running);
        signalAndExpectCleanEnd(program, SIGTERM, log);
    };
    ASSERT_TRUE(QDir().mkpath(homePath("other-runtime")));
    for (const char* name : {"python3", "Berthkeep"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
        const OtherUsersLock squatter(folder, name);
        ASSERT_TRUE(squatter.waitUntilItHolds());
        comesUpAndKeepsASecondCopyOut();
    }

    // One waiting while the user's copy runs takes the lock when it ends.
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    QProcess first;
    start(first);
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
    const OtherUsersLock waiter(folder, "python3");
    EXPECT_FALSE(waiter.waitUntilItHolds(300ms));
    signalAndExpectCleanEnd(first, SIGTERM, log);
    ASSERT_TRUE(waiter.waitUntilItHolds());
    comesUpAndKeepsASecondCopyOut();
}

// The preferences folder may change under a running copy: renamed away and
// made again, or, being a link, pointed at another folder; a copy started in
// another session afterwards still finds the first and ends. Or it is
// deleted, and a copy started then makes it again: one of the two gives way.
// Never do both run on.
TEST_F(ProgramOnSimulatedMachine, AFolderChangedUnderARunningCopyStillKeepsASecondOut) {
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    const std::string linked = homePath("linked-preferences").toStdString();
    const std::string other = homePath("other-preferences").toStdString();
    struct Change {
        const char* name;
        std::function<void()> make;
        bool secondStays;
    };
    const std::vector<Change> changes{
        {"renamed and made again",
         [&] {
             std::filesystem::rename(folder, folder + ".old");
             std::filesystem::create_directory(folder);
         },
         false},
        {"a link pointed elsewhere",
         [&] {
             std::filesystem::create_directory(other);
             std::filesystem::create_directory_symlink(other, folder + ".new");
             std::filesystem::rename(folder + ".new", folder);
         },
         false},
        {"deleted", [&] { std::filesystem::remove_all(folder); }, true},
    };
    ASSERT_TRUE(QDir().mkpath(homePath("other-runtime")));
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(folder + ".old");
        std::filesystem::remove_all(other);
        std::filesystem::remove_all(linked);
        if (std::string(change.name) == "a link pointed elsewhere") {
            std::filesystem::create_directories(linked);
            std::filesystem::create_directories(homePath("config").toStdString());
            std::filesystem::create_directory_symlink(linked, folder);
        }
        QProcess first;
        start(first);
        QByteArray log;
        ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
        change.make();
        if (!change.secondStays) {
            expectACopyInAnotherSessionToEnd(homePath("other-runtime"));
            EXPECT_EQ(first.state(), QProcess::Running);
            signalAndExpectCleanEnd(first, SIGTERM, log);
            continue;
        }
        // Whichever makes the folder again first (the second copy, or the
        // first as it saves its settings) keeps the lock; the other ends.
        QProcess second;
        start(second, homePath("other-runtime"));
        const auto deadline = SteadyClock::now() + 15s;
        // Each wait reads its own process's end (QProcess learns of it only so).
        while (first.state() == QProcess::Running && second.state() == QProcess::Running &&
               SteadyClock::now() < deadline) {
            first.waitForFinished(50);
            second.waitForFinished(50);
        }
        QProcess& ended = second.state() == QProcess::Running ? first : second;
        QProcess& runsOn = &ended == &first ? second : first;
        ASSERT_EQ(ended.state(), QProcess::NotRunning) << "both run on";
        const QByteArray said = ended.readAllStandardError();
        EXPECT_EQ(ended.exitCode(), 0) << said.toStdString();
        EXPECT_TRUE(said.contains("already running") || said.contains("this copy ends"))
            << said.toStdString();
        ASSERT_EQ(runsOn.state(), QProcess::Running);
        QByteArray runsOnLog;
        signalAndExpectCleanEnd(runsOn, SIGTERM, runsOnLog);
    }
}

// Where a copy got in first on the folder now at the path (swapped in, in
// one step), the running copy gives way: says so and ends well.
TEST_F(ProgramOnSimulatedMachine, ACopyWhoseFolderNowHoldsAnothersLockEnds) {
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    const std::string swapped = homePath("config/Berthkeep.other").toStdString();
    QProcess program;
    start(program);
    QByteArray log;
    ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(swapped)));
    const int other =
        ::open((swapped + "/berthkeep.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE), 0);

    EXPECT_TRUE(program.waitForFinished(15000));
    ::close(other);
    log += program.readAllStandardError();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << log.toStdString();
    EXPECT_TRUE(log.contains(("process " + std::to_string(::getpid())).c_str()))
        << log.toStdString();
    EXPECT_TRUE(log.contains("this copy ends")) << log.toStdString();
}

// The user's way of resetting the settings: the preferences folder deleted or
// renamed away under a running copy, and the program started again in the
// same session at once or a little later. The second start finds the first
// and ends, and never takes the first with it.
TEST_F(ProgramOnSimulatedMachine, AStartAgainAfterThePreferencesFolderWentLeavesTheFirstRunning) {
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    for (const bool renamed : {false, true}) {
        for (const auto after : {0ms, 300ms, 1500ms}) {
            SCOPED_TRACE(std::string(renamed ? "renamed away, " : "deleted, ") +
                         std::to_string(after.count()) + " ms");
            std::filesystem::remove_all(folder);
            std::filesystem::remove_all(folder + ".old");
            QProcess first;
            start(first);
            QByteArray log;
            ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
            if (renamed) {
                std::filesystem::rename(folder, folder + ".old");
            } else {
                std::filesystem::remove_all(folder);
            }
            std::this_thread::sleep_for(after);

            expectACopyInAnotherSessionToEnd(homePath("runtime"));
            EXPECT_FALSE(first.waitForFinished(1000)) << "the first ended too";
            log += first.readAllStandardError();
            ASSERT_EQ(first.state(), QProcess::Running) << log.toStdString();
            signalAndExpectCleanEnd(first, SIGTERM, log);
        }
    }
}

// A folder put back under a running copy with its lock held by a process it
// cannot name, as one that has just let go shows (here the test, outside the
// copy's process namespace): a holder that lets go at once never ends the
// running copy, which takes the lock there.
TEST_F(ProgramOnSimulatedMachine, AHolderThatLetsGoAtOnceDoesNotEndTheRunningCopy) {
    if (!canRunInAProcessNamespaceOfItsOwn()) {
        GTEST_SKIP() << "a process namespace of its own takes root and unshare";
    }
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    // A program a failed expectation leaves running goes with unshare.
    runThrough({"unshare", "--pid", "--fork", "--mount-proc", "--kill-child"});
    QProcess program;
    start(program);
    QByteArray log;
    ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
    // Deleted again should its own save make it first.
    const auto deadline = SteadyClock::now() + 15s;
    while (!log.contains("is gone") && SteadyClock::now() < deadline) {
        std::filesystem::remove_all(folder);
        program.waitForReadyRead(200);
        log += program.readAllStandardError();
    }
    ASSERT_TRUE(log.contains("is gone")) << log.toStdString();
    // Made aside and locked, then put in place in one step.
    const std::string made = folder + ".new";
    std::filesystem::create_directory(made);
    const int holder =
        ::open((made + "/berthkeep.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    std::filesystem::rename(made, folder);
    EXPECT_FALSE(program.waitForFinished(300)) << "ended for a holder that let go";
    ::close(holder);
    ASSERT_TRUE(waitForLog(program, log, "taken again there")) << log.toStdString();

    // The program is unshare's child, and unshare passes no signal on.
    const auto pid = std::to_string(program.processId());
    pid_t child = 0;
    std::ifstream("/proc/" + pid + "/task/" + pid + "/children") >> child;
    ASSERT_GT(child, 0);
    ::kill(child, SIGTERM);
    EXPECT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitCode(), 0);
    stopIfStillRunning(program);
}

// A preferences folder that is a link to a folder of the user's shared with a
// group (a synced folder, mode 2775): the folder it leads to keeps its mode, at
// the start and once the link is pointed at another such folder, and the start
// says once that it is left as it is.
TEST_F(ProgramOnSimulatedMachine, AFolderThePreferencesLinkToKeepsItsMode) {
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    const std::string shared = homePath("shared").toStdString();
    const std::string other = homePath("shared-other").toStdString();
    for (const std::string& each : {shared, other}) {
        ASSERT_EQ(::mkdir(each.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(each.c_str(), 02775), 0);
    }
    const auto modeOf = [](const std::string& path) {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0u;
    };
    ASSERT_TRUE(QDir().mkpath(homePath("config")));
    std::filesystem::create_directory_symlink(shared, folder);

    QProcess first;
    start(first);
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
    EXPECT_EQ(modeOf(shared), 02775u);
    EXPECT_TRUE(log.contains("left as it is")) << log.toStdString();

    std::filesystem::create_directory_symlink(other, folder + ".new");
    std::filesystem::rename(folder + ".new", folder);
    ASSERT_TRUE(waitForLog(first, log, "taken again there")) << log.toStdString();
    EXPECT_EQ(modeOf(other), 02775u);
    EXPECT_EQ(modeOf(shared), 02775u);
    signalAndExpectCleanEnd(first, SIGTERM, log);
    EXPECT_EQ(log.count("left as it is"), 1) << log.toStdString();
}

// A preferences folder the user can write but not read: the lock file is
// still made there, so a copy in another session is kept out.
TEST_F(ProgramOnSimulatedMachine, AnUnreadablePreferencesFolderStillKeepsACopyInAnotherSessionOut) {
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty()) {
            GTEST_SKIP() << "root reads any folder; setpriv takes that right away";
        }
        runThrough({"setpriv", "--inh-caps=-dac_override,-dac_read_search",
                    "--bounding-set=-dac_override,-dac_read_search"});
    }
    makeMachineWithStick();
    const std::string folder = homePath("config/Berthkeep").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    ASSERT_EQ(::chmod(folder.c_str(), 0300), 0);
    ASSERT_TRUE(QDir().mkpath(homePath("other-runtime")));

    QProcess first;
    start(first);
    QByteArray log;
    ASSERT_TRUE(waitForLog(first, log, "Travel Stick")) << log.toStdString();
    EXPECT_FALSE(log.contains("the session's lock alone")) << log.toStdString();
    expectACopyInAnotherSessionToEnd(homePath("other-runtime"));
    EXPECT_EQ(first.state(), QProcess::Running);
    signalAndExpectCleanEnd(first, SIGTERM, log);
    ::chmod(folder.c_str(), 0700);
}

// A damaged preferences file whose set-aside slot is in the way (a folder
// where the fifth set-aside would go): its settings are still saved at once,
// the log says where the damaged file went, and the next start finds them.
TEST_F(ProgramOnSimulatedMachine, ASetAsideSlotInTheWayDoesNotStopItsSettingsBeingSaved) {
    makeMachineWithStick();
    const std::string preferences =
        homePath("config/Berthkeep/app.berthkeep.Berthkeep.plist").toStdString();
    ASSERT_TRUE(QDir().mkpath(homePath("config/Berthkeep/app.berthkeep.Berthkeep.plist."
                                       "unreadable.4")));
    std::ofstream(preferences + ".unreadable.4/notes") << "the user's own";
    for (const char* earlier : {".unreadable", ".unreadable.1", ".unreadable.2", ".unreadable.3"}) {
        std::ofstream(preferences + earlier) << "earlier";
    }
    std::ofstream(preferences) << "<plist><dict><key>damaged";

    QProcess program;
    start(program);
    QByteArray log;
    ASSERT_TRUE(waitForLog(program, log, "Travel Stick")) << log.toStdString();
    // Its eject for sleep saves the attempt's summary among the settings.
    EXPECT_TRUE(sendWillSleepAndWait().contains("\"acknowledged\":true"));
    signalAndExpectCleanEnd(program, SIGTERM, log);
    EXPECT_FALSE(log.contains("written again later")) << log.toStdString();
    EXPECT_FALSE(log.contains("could not be saved")) << log.toStdString();
    const QByteArray kept = "unreadable preferences file aside as ";
    const auto at = log.indexOf(kept);
    ASSERT_GE(at, 0) << log.toStdString();
    const QByteArray where = log.mid(at + kept.size()).split('\n').front().trimmed();
    EXPECT_EQ(test::fileText(where.toStdString()), "<plist><dict><key>damaged");
    EXPECT_EQ(test::fileText(preferences + ".unreadable.4/notes"), "the user's own");

    // The stick is ejected now: this start shows no drive.
    QProcess next;
    start(next);
    QByteArray again;
    ASSERT_TRUE(waitForLog(next, again, "power_monitor.registered")) << again.toStdString();
    signalAndExpectCleanEnd(next, SIGTERM, again);
    EXPECT_FALSE(again.contains("is unreadable")) << again.toStdString();
    const FileUserDefaults saved("app.berthkeep.Berthkeep",
                                 homePath("config/Berthkeep").toStdString());
    EXPECT_TRUE(saved.object("berthkeep.lastActionSummary").has_value());
}

// A copy killed outright leaves its lock file behind; the next start takes it
// over.
TEST_F(ProgramOnSimulatedMachine, AKilledCopyDoesNotKeepTheNextFromStarting) {
    makeMachineWithStick();
    QProcess killed;
    start(killed);
    QByteArray log;
    ASSERT_TRUE(waitForLog(killed, log, "Travel Stick")) << log.toStdString();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));

    QProcess next;
    start(next);
    log.clear();
    EXPECT_TRUE(waitForLog(next, log, "Travel Stick")) << log.toStdString();
    signalAndExpectCleanEnd(next, SIGTERM, log);
}

} // namespace
} // namespace berthkeep
