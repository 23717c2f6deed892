#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "TaskDriver.hpp"
#include "platform/DiskArbitration/DiskArbitrationSession.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep::inventorytest {

inline std::string standInPath(const std::string& tool) {
    return std::string(BERTHKEEP_SIM_BIN_DIR) + "/" + tool;
}

// For a stand-in call that should answer: past what a loaded machine takes to
// start an instrumented stand-in, so only a call that really hangs reaches it.
inline constexpr std::chrono::milliseconds answeringCallTimeout{30000};

// A simulated machine of its own per test. The stand-in tools find it through
// the environment, which child processes inherit.
class SimulatedMachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_stateFile =
            std::make_unique<SimulatedStateFile>(m_folder.filePath("sim/state.json").toStdString());
        ::setenv(SimulatedStateFile::environmentVariable, m_stateFile->path().c_str(), 1);
    }
    void TearDown() override {
        // A live store or refresh of the test may still have a snapshot or a
        // probe on the thread pool (long after the test on a loaded machine);
        // it ends here, not after the test, where its frames would be lost.
        EXPECT_TRUE(finishDetachedWork(std::chrono::seconds(20)));
        ::unsetenv(SimulatedStateFile::environmentVariable);
    }

    const SimulatedStateFile& stateFile() const { return *m_stateFile; }
    std::string mountRoot() const { return m_folder.filePath("Volumes").toStdString(); }

    // Makes the machine: USB sticks of these names mounted under mountRoot(). Returns
    // their disks.
    std::vector<std::string> attachMountedSticks(std::initializer_list<const char*> names) const {
        SimulatedWorld world;
        world.mountRoot = mountRoot();
        std::vector<std::string> disks;
        for (const char* name : names) {
            disks.push_back(attachPreset(world, SimulatedDrivePreset::usbStick, std::string(name)));
        }
        stateFile().write(world);
        return disks;
    }

    void addBehaviour(const ScriptedBehaviour& behaviour) const {
        stateFile().update([&](SimulatedWorld& world) {
            world.behaviours.push_back(behaviour);
            return true;
        });
    }

    // A child that hangs and shrugs off SIGTERM: only SIGKILL ends it. It says
    // when it began to hang in readyFile().
    void addHangIgnoringTerminate(const std::string& verb,
                                  const std::string& tool = "diskutil") const {
        ScriptedBehaviour hang;
        hang.tool = tool;
        hang.verb = verb;
        hang.hang = true;
        hang.ignoreTerminate = true;
        hang.readyFile = readyFile();
        addBehaviour(hang);
    }

    std::string readyFile() const { return m_folder.filePath("ready").toStdString(); }
    // When the scripted hang began, on this process's steady clock (the stand-in
    // writes the same clock); none while it has not begun.
    std::optional<std::chrono::steady_clock::time_point> hangBeganAt() const {
        std::ifstream file(readyFile());
        long long nanoseconds = 0;
        if (!(file >> nanoseconds)) {
            return std::nullopt;
        }
        return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nanoseconds));
    }
    bool waitUntilHangBegan() const {
        const auto deadline = std::chrono::steady_clock::now() + answeringCallTimeout;
        while (!hangBeganAt()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<SimulatedStateFile> m_stateFile;
};

// Captures the start-up audit for one test.
class AuditCapture {
public:
    explicit AuditCapture(bool debugEnabled) {
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_unified, nullptr, "test.audit", debugEnabled});
    }
    ~AuditCapture() { BerthkeepStartupAudit::setOutputsForTesting(std::nullopt); }

    std::vector<UnifiedLogEntry> entries() const { return m_unified->entries(); }

private:
    std::shared_ptr<CaptureUnifiedLog> m_unified = std::make_shared<CaptureUnifiedLog>();
};

// Waits between events rather than spinning: a spinning test is one more
// process at full load beside the children it waits for.
using test::spinUntil;

inline void spinFor(int milliseconds) {
    spinUntil([] { return false; }, milliseconds);
}

// A disk service driven by hand: tests fire the callbacks themselves.
class FakeDiskArbitrationService : public DiskArbitrationService {
public:
    class Session : public DiskArbitrationSession {
    public:
        explicit Session(FakeDiskArbitrationService& service)
            : m_service(service) {}

        void scheduleWithMainLoop() override { scheduled = true; }
        void unscheduleFromMainLoop() override { scheduled = false; }
        CallbackRegistration registerDiskAppearedCallback(DiskCallback callback) override {
            return add(appeared, std::move(callback));
        }
        CallbackRegistration
        registerDiskDescriptionChangedCallback(DiskCallback callback) override {
            return add(changed, std::move(callback));
        }
        CallbackRegistration registerDiskDisappearedCallback(DiskCallback callback) override {
            return add(disappeared, std::move(callback));
        }
        void unregisterCallback(CallbackRegistration registration) override {
            appeared.erase(registration);
            changed.erase(registration);
            disappeared.erase(registration);
        }
        std::optional<DiskArbitrationDisk>
        createDiskFromBSDName(const std::string& bsdName) override {
            const auto found = m_service.descriptions.find(bsdName);
            if (found == m_service.descriptions.end()) {
                return std::nullopt;
            }
            return DiskArbitrationDisk{bsdName, bsdName, found->second};
        }
        std::optional<DiskDescriptionValues>
        copyDescription(const DiskArbitrationDisk& disk) override {
            ++m_service.descriptionCopies;
            if (m_service.onCopyDescription) {
                m_service.onCopyDescription(disk);
            }
            if (disk.bsdName) {
                const auto found = m_service.descriptions.find(*disk.bsdName);
                if (found != m_service.descriptions.end()) {
                    return found->second;
                }
            }
            return disk.lastKnownDescription;
        }

        // Delivers an event to every callback of its kind, as the service does.
        void fire(const std::map<CallbackRegistration, DiskCallback>& callbacks,
                  const DiskArbitrationDisk& disk) {
            if (!scheduled) {
                return;
            }
            const auto copy = callbacks;
            for (const auto& [id, callback] : copy) {
                callback(disk);
            }
        }

        bool scheduled = false;
        std::map<CallbackRegistration, DiskCallback> appeared;
        std::map<CallbackRegistration, DiskCallback> changed;
        std::map<CallbackRegistration, DiskCallback> disappeared;

    private:
        CallbackRegistration add(std::map<CallbackRegistration, DiskCallback>& list,
                                 DiskCallback callback) {
            const auto id = ++m_nextRegistration;
            list.emplace(id, std::move(callback));
            return id;
        }

        FakeDiskArbitrationService& m_service;
        CallbackRegistration m_nextRegistration = 0;
    };

    std::unique_ptr<DiskArbitrationSession> createSession() override {
        ++sessionsCreated;
        if (failSessionCreation) {
            return nullptr;
        }
        auto session = std::make_unique<Session>(*this);
        lastSession = session.get();
        return session;
    }

    static DiskArbitrationDisk disk(const std::string& bsdName, DiskDescriptionValues values = {}) {
        return DiskArbitrationDisk{bsdName, bsdName, std::move(values)};
    }

    std::map<std::string, DiskDescriptionValues> descriptions;
    std::function<void(const DiskArbitrationDisk&)> onCopyDescription;
    int sessionsCreated = 0;
    int descriptionCopies = 0;
    bool failSessionCreation = false;
    Session* lastSession = nullptr; // valid while its owner keeps it
};

} // namespace berthkeep::inventorytest
