#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "../Store/StoreFixture.hpp"
#include "../Store/StoreTestSupport.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "BerthkeepShared/Completion.hpp"

namespace berthkeep::actiontest {

// The same drive, mounted or not.
inline DetectedDrive withMount(const DetectedDrive& drive, bool mounted) {
    std::optional<QUrl> url;
    if (mounted) {
        url = QUrl::fromLocalFile(QString::fromStdString("/Volumes/" + drive.name() + "/"));
    }
    return DetectedDrive(drive.id(), drive.name(), url, drive.scope(), drive.isEjectable(),
                         drive.bsdName(), drive.ejectTargetBSDName(), drive.ejectGroupID(),
                         drive.allowsGroupedWakeRemount(), drive.identity());
}

// Waits for the token, then gives up as a cancelled call does.
inline QCoro::Task<void> hangUntilCancelled(std::shared_ptr<CancelToken> cancel) {
    Completion<void> cancelled;
    const auto id = cancel->onCancel([cancelled] { cancelled.resolve(); });
    co_await cancelled;
    cancel->removeCallback(id);
    throw CancellationError();
}

// Ejects by unmounting the drive's whole group in the fake inventory, unless told
// to refuse ("Volume is busy", status 16) or to hang until cancelled.
class ScriptedEjector final : public DriveEjecting {
public:
    enum class Outcome { eject, refuse, hang };

    explicit ScriptedEjector(std::shared_ptr<storetest::FakeInventory> inventory)
        : m_inventory(std::move(inventory)) {}

    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode,
                            std::shared_ptr<CancelToken> cancel) override {
        calls.push_back(drive.id());
        modes.push_back(mode);
        if (during) {
            during();
        }
        const auto it = outcomes.find(drive.id());
        const Outcome outcome = it == outcomes.end() ? Outcome::eject : it->second;
        if (outcome == Outcome::refuse) {
            throw DriveOperationError(DriveOperationError::ejectDomain, 16, "Volume is busy");
        }
        if (outcome == Outcome::hang) {
            co_await hangUntilCancelled(cancel);
        }
        for (DetectedDrive& known : m_inventory->drives) {
            if (known.ejectGroupID() == drive.ejectGroupID()) {
                known = withMount(known, false);
            }
        }
    }

    std::map<std::string, Outcome> outcomes;
    std::vector<std::string> calls;
    std::vector<DriveEjectMode> modes;
    std::function<void()> during;

private:
    std::shared_ptr<storetest::FakeInventory> m_inventory;
};

// Each mount call takes the next scripted answer (true: mounted, false: fails with
// "Could not mount"); with none left it mounts.
class ScriptedRemounter final : public DriveRemounting {
public:
    explicit ScriptedRemounter(std::shared_ptr<storetest::FakeInventory> inventory)
        : m_inventory(std::move(inventory)) {}

    QCoro::Task<void> mount(RemountTarget target, std::shared_ptr<CancelToken>) override {
        calls.push_back("mount " + target.bsdName);
        answer({target.driveID});
        co_return;
    }
    QCoro::Task<void> mountDisk(RemountGroup group, std::shared_ptr<CancelToken>) override {
        calls.push_back("mountDisk " + group.bsdName);
        std::vector<std::string> ids;
        for (const RemountTarget& target : group.targets) {
            ids.push_back(target.driveID);
        }
        answer(ids);
        co_return;
    }

    std::deque<bool> answers;
    std::vector<std::string> calls;

private:
    void answer(const std::vector<std::string>& ids) {
        const bool mounts = answers.empty() || answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        if (!mounts) {
            throw DriveOperationError(DriveOperationError::remountDomain, 1, "Could not mount");
        }
        for (DetectedDrive& known : m_inventory->drives) {
            if (std::find(ids.begin(), ids.end(), known.id()) != ids.end()) {
                known = withMount(known, true);
            }
        }
    }

    std::shared_ptr<storetest::FakeInventory> m_inventory;
};

// A store over fakes whose ejects and mounts are scripted; no post-eject delay
// unless a test sets one.
struct ActionFixture : storetest::StoreFixture {
    ActionFixture() {
        customEjector = scriptedEjector;
        remounter = scriptedRemounter;
        timing.postEjectRefreshDelay = Clock::Duration::zero();
    }

    std::vector<TransientActionStatus> panels() const { return statusPresenter->presented; }
    std::vector<BerthkeepLogEvent> events(const std::string& name) const {
        return sink->named(name);
    }

    std::shared_ptr<ScriptedEjector> scriptedEjector = std::make_shared<ScriptedEjector>(inventory);
    std::shared_ptr<ScriptedRemounter> scriptedRemounter =
        std::make_shared<ScriptedRemounter>(inventory);
};

} // namespace berthkeep::actiontest
