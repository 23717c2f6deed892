#pragma once

#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Berthkeep/Inventory/DiskArbitrationDescribing.hpp"
#include "Berthkeep/Inventory/DiskImageListing.hpp"
#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "BerthkeepShared/BerthkeepLogSink.hpp"
#include "platform/Log/UnifiedLog.hpp"
#include "platform/MountedVolumes/MountedVolumeListing.hpp"

namespace berthkeep::inventorytest {

// A `diskutil` that answers from a handler and records every call, and how many
// ran at the same time.
class RecordingDiskUtilityRunner final : public DiskUtilityRunning {
public:
    using Handler = std::function<std::string(const std::vector<std::string>&)>;

    explicit RecordingDiskUtilityRunner(Handler handler = {})
        : m_handler(std::move(handler)) {}

    std::string run(const std::vector<std::string>& arguments) const override {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(arguments);
        }
        const int running = ++m_running;
        int seen = m_maximumRunning.load();
        while (running > seen && !m_maximumRunning.compare_exchange_weak(seen, running)) {
        }
        struct Leave {
            std::atomic<int>& running;
            ~Leave() { --running; }
        } leave{m_running};
        if (!m_handler) {
            throw std::runtime_error("no diskutil here");
        }
        return m_handler(arguments);
    }

    std::vector<std::vector<std::string>> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int maximumRunning() const { return m_maximumRunning; }

private:
    Handler m_handler;
    mutable std::mutex m_mutex;
    mutable std::vector<std::vector<std::string>> m_calls;
    mutable std::atomic<int> m_running{0};
    mutable std::atomic<int> m_maximumRunning{0};
};

// The stand-in `diskutil` with two deadlines: a short one for the `info` of the
// one device scripted to hang, and one no load reaches for every call meant to
// answer. Records how long the hung call took.
class OneHungInfoRunner final : public DiskUtilityRunning {
public:
    OneHungInfoRunner(const std::string& executablePath, std::string hungDevice,
                      std::chrono::milliseconds hungTimeout,
                      std::chrono::milliseconds answeringTimeout)
        : m_hungDevice(std::move(hungDevice))
        , m_hung(executablePath, hungTimeout)
        , m_answering(executablePath, answeringTimeout) {}

    std::string run(const std::vector<std::string>& arguments) const override {
        if (arguments.size() != 3 || arguments[0] != "info" || arguments[2] != m_hungDevice) {
            return m_answering.run(arguments);
        }
        struct Timing {
            const OneHungInfoRunner& runner;
            std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
            ~Timing() {
                std::lock_guard lock(runner.m_mutex);
                runner.m_hungCallTook = std::chrono::steady_clock::now() - started;
            }
        } timing{*this};
        return m_hung.run(arguments);
    }

    std::optional<std::chrono::steady_clock::duration> hungCallTook() const {
        std::lock_guard lock(m_mutex);
        return m_hungCallTook;
    }

private:
    std::string m_hungDevice;
    LiveDiskUtilityRunner m_hung;
    LiveDiskUtilityRunner m_answering;
    mutable std::mutex m_mutex;
    mutable std::optional<std::chrono::steady_clock::duration> m_hungCallTook;
};

class RecordingDiskImageListing final : public DiskImageListing {
public:
    explicit RecordingDiskImageListing(std::map<std::string, DiskImageAttachment> images = {})
        : m_images(std::move(images)) {}

    std::map<std::string, DiskImageAttachment> currentImagesByDeviceIdentifier() const override {
        ++m_calls;
        return m_images;
    }
    int calls() const { return m_calls; }

private:
    std::map<std::string, DiskImageAttachment> m_images;
    mutable std::atomic<int> m_calls{0};
};

// Descriptions by BSD name, answered as they are; nothing else is cached.
class FakeDiskArbitrationDescriptions final : public DiskArbitrationDescribing {
public:
    explicit FakeDiskArbitrationDescriptions(
        std::map<std::string, DiskArbitrationDiskDescription> descriptions = {})
        : m_descriptions(std::move(descriptions)) {}

    std::optional<DiskArbitrationDiskDescription> description(const std::string& bsdName) override {
        std::lock_guard lock(m_mutex);
        const auto found = m_descriptions.find(bsdName);
        if (found == m_descriptions.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void cacheDescription(const DiskArbitrationDisk&, DiskArbitrationSession&) override {}
    std::uint64_t descriptionGeneration(const std::string& bsdName) const override {
        std::lock_guard lock(m_mutex);
        const auto found = m_generations.find(bsdName);
        return found == m_generations.end() ? 0 : found->second;
    }

    // What the service's reports would do to the name's generation.
    void report(const std::string& bsdName) {
        std::lock_guard lock(m_mutex);
        ++m_generations[bsdName];
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, DiskArbitrationDiskDescription> m_descriptions;
    std::map<std::string, std::uint64_t> m_generations;
};

// A mounted-volume listing given by hand.
class FakeMountedVolumeListing final : public MountedVolumeListing {
public:
    struct Volume {
        QUrl url;
        VolumeResourceValues values;
        bool fails = false;
    };

    std::optional<std::vector<QUrl>>
    mountedVolumeURLs(const std::set<VolumeResourceKey>& keys,
                      MountedVolumeListingOptions options) const override {
        askedKeys = keys;
        askedOptions = options;
        if (!answers) {
            return std::nullopt;
        }
        std::vector<QUrl> urls;
        for (const auto& volume : volumes) {
            urls.push_back(volume.url);
        }
        return urls;
    }

    VolumeResourceValues resourceValues(const QUrl& url,
                                        const std::set<VolumeResourceKey>&) const override {
        for (const auto& volume : volumes) {
            if (volume.url.adjusted(QUrl::NormalizePathSegments) == url) {
                if (volume.fails) {
                    throw VolumeResourceError("unreadable");
                }
                return volume.values;
            }
        }
        throw VolumeResourceError("unknown volume");
    }

    std::vector<Volume> volumes;
    bool answers = true;
    mutable std::set<VolumeResourceKey> askedKeys;
    mutable MountedVolumeListingOptions askedOptions;
};

class CapturingLogSink final : public BerthkeepLogSink {
public:
    void record(const BerthkeepLogEvent& event) override { events.push_back(event); }

    std::vector<BerthkeepLogEvent> named(const std::string& name) const {
        std::vector<BerthkeepLogEvent> result;
        for (const auto& event : events) {
            if (event.name == name) {
                result.push_back(event);
            }
        }
        return result;
    }

    std::vector<BerthkeepLogEvent> events;
};

// Audit lines whose text contains `message`.
inline std::vector<std::string> linesWith(const std::vector<UnifiedLogEntry>& entries,
                                          const std::string& message) {
    std::vector<std::string> lines;
    for (const auto& entry : entries) {
        if (entry.message.find(message) != std::string::npos) {
            lines.push_back(entry.message);
        }
    }
    return lines;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace berthkeep::inventorytest
