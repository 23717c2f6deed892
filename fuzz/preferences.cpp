// The preferences file as the program reads it at launch: the property-list file
// of the user defaults, then the preferences store with the migration of older
// keys, and every typed reader over whatever keys the file holds.

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Berthkeep/Settings/AppPreferencesStore.hpp"
#include "FuzzScratchFolder.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Log/UnifiedLog.hpp"
#include "platform/LoginItems/SimulatedLoginItemService.hpp"

namespace {

using namespace berthkeep;

constexpr const char* kBundleIdentifier = "app.berthkeep.Berthkeep";

class SilentUnifiedLog final : public UnifiedLog {
public:
    bool isEnabled(const std::string&, const std::string&, UnifiedLogType) const override {
        return false;
    }
    void write(const UnifiedLogEntry&) override {}
};

class SilentSink final : public BerthkeepLogSink {
public:
    void record(const BerthkeepLogEvent&) override {}
};

void readEveryKey(const UserDefaults& defaults) {
    for (const auto& [key, value] : defaults.dictionaryRepresentation()) {
        (void)defaults.boolForKey(key);
        (void)defaults.integerForKey(key);
        (void)defaults.doubleForKey(key);
        (void)defaults.stringForKey(key);
        (void)defaults.dataForKey(key);
        (void)defaults.stringArrayForKey(key);
        (void)defaults.dictionaryForKey(key);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The logger hands events over on the application's thread.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzScratchFolder folder;
    static const auto log = std::make_shared<SilentUnifiedLog>();
    FuzzScratchFolder::write(folder.path() + "/" + kBundleIdentifier + ".plist", data, size);

    auto defaults = std::make_shared<FileUserDefaults>(kBundleIdentifier, folder.path(), log);
    readEveryKey(*defaults);

    const BerthkeepLogger logger(std::make_shared<SilentSink>());
    LaunchAtLoginManager::RuntimeContext context;
    context.bundlePath = "/opt/Berthkeep.app";
    context.executablePath = "/opt/Berthkeep.app/Contents/MacOS/Berthkeep";
    context.bundleIdentifier = kBundleIdentifier;
    const AppPreferencesStore preferences(
        defaults, logger,
        std::make_shared<LaunchAtLoginManager>(logger, context,
                                               std::make_shared<SimulatedLoginItemService>()));
    (void)AppPreferencesStore::persistedActivityDetectionModeRawValue(*defaults);
    return 0;
}
