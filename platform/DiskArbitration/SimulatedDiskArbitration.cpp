#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"

#include "platform/SimulatedMachine/SimulatedDiskDescriptions.hpp"
#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"

#include <map>
#include <mutex>
#include <vector>

namespace berthkeep {

namespace {

enum class CallbackKind { appeared, descriptionChanged, disappeared };

class SimulatedDiskArbitrationSession : public DiskArbitrationSession {
public:
    SimulatedDiskArbitrationSession(SimulatedStateFile stateFile,
                                    std::chrono::milliseconds pollInterval)
        : m_stateFile(std::move(stateFile))
        , m_pollInterval(pollInterval) {}

    ~SimulatedDiskArbitrationSession() override { unscheduleFromMainLoop(); }

    void scheduleWithMainLoop() override {
        if (m_watcher) {
            return;
        }
        m_known.clear();
        m_watcher = std::make_unique<SimulatedFileWatcher>(
            QString::fromStdString(m_stateFile.path()), m_pollInterval, [this] { refresh(); });
    }

    void unscheduleFromMainLoop() override {
        if (m_watcher) {
            m_watcher->detach();
            m_watcher.release()->deleteLater();
        }
        m_known.clear();
    }

    CallbackRegistration registerDiskAppearedCallback(DiskCallback callback) override {
        return add(CallbackKind::appeared, std::move(callback));
    }
    CallbackRegistration registerDiskDescriptionChangedCallback(DiskCallback callback) override {
        return add(CallbackKind::descriptionChanged, std::move(callback));
    }
    CallbackRegistration registerDiskDisappearedCallback(DiskCallback callback) override {
        return add(CallbackKind::disappeared, std::move(callback));
    }

    void unregisterCallback(CallbackRegistration registration) override {
        std::lock_guard lock(m_mutex);
        m_callbacks.erase(registration);
    }

    std::optional<DiskArbitrationDisk> createDiskFromBSDName(const std::string& bsdName) override {
        const std::string name = stripDevicePrefix(bsdName);
        for (auto& disk : currentDisks()) {
            if (disk.bsdName == name) {
                return disk;
            }
        }
        return std::nullopt;
    }

    std::optional<DiskDescriptionValues> copyDescription(const DiskArbitrationDisk& disk) override {
        for (auto& current : currentDisks()) {
            if (current.identity == disk.identity) {
                return current.lastKnownDescription;
            }
        }
        return disk.lastKnownDescription;
    }

private:
    struct Registration {
        CallbackKind kind;
        DiskCallback callback;
    };

    CallbackRegistration add(CallbackKind kind, DiskCallback callback) {
        std::lock_guard lock(m_mutex);
        const auto id = ++m_nextRegistration;
        m_callbacks.emplace(id, Registration{kind, std::move(callback)});
        return id;
    }

    std::vector<DiskArbitrationDisk> currentDisks() const {
        try {
            return simulatedDiskArbitrationDisks(m_stateFile.read());
        } catch (const SimulatedStateError&) {
            return {};
        }
    }

    void refresh() {
        std::vector<DiskArbitrationDisk> disks;
        try {
            disks = simulatedDiskArbitrationDisks(m_stateFile.read());
        } catch (const SimulatedStateError&) {
            // A file being rewritten by hand is not a mass disappearance.
            return;
        }
        std::map<std::string, DiskArbitrationDisk> current;
        for (auto& disk : disks) {
            current.emplace(disk.identity, std::move(disk));
        }
        std::vector<std::pair<CallbackKind, DiskArbitrationDisk>> events;
        for (const auto& [identity, disk] : m_known) {
            if (!current.count(identity)) {
                events.emplace_back(CallbackKind::disappeared, disk);
            }
        }
        for (const auto& [identity, disk] : current) {
            auto known = m_known.find(identity);
            if (known == m_known.end()) {
                events.emplace_back(CallbackKind::appeared, disk);
            } else if (!(known->second == disk)) {
                events.emplace_back(CallbackKind::descriptionChanged, disk);
            }
        }
        m_known = std::move(current);
        for (const auto& [kind, disk] : events) {
            deliver(kind, disk);
        }
    }

    void deliver(CallbackKind kind, const DiskArbitrationDisk& disk) {
        std::vector<CallbackRegistration> ids;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& [id, registration] : m_callbacks) {
                if (registration.kind == kind) {
                    ids.push_back(id);
                }
            }
        }
        for (auto id : ids) {
            DiskCallback callback;
            {
                std::lock_guard lock(m_mutex);
                auto it = m_callbacks.find(id);
                if (it == m_callbacks.end()) {
                    continue; // unregistered by an earlier callback
                }
                callback = it->second.callback;
            }
            if (!m_watcher) {
                return; // unscheduled by an earlier callback
            }
            callback(disk);
        }
    }

    SimulatedStateFile m_stateFile;
    std::chrono::milliseconds m_pollInterval;
    std::unique_ptr<SimulatedFileWatcher> m_watcher;
    std::map<std::string, DiskArbitrationDisk> m_known;
    std::mutex m_mutex;
    std::map<CallbackRegistration, Registration> m_callbacks;
    CallbackRegistration m_nextRegistration = 0;
};

} // namespace

SimulatedDiskArbitration::SimulatedDiskArbitration(SimulatedStateFile stateFile,
                                                   std::chrono::milliseconds pollInterval)
    : m_stateFile(std::move(stateFile))
    , m_pollInterval(pollInterval) {}

std::unique_ptr<DiskArbitrationSession> SimulatedDiskArbitration::createSession() {
    if (m_sessionCreationFails) {
        return nullptr;
    }
    ++m_sessionsCreated;
    return std::make_unique<SimulatedDiskArbitrationSession>(m_stateFile, m_pollInterval);
}

} // namespace berthkeep
