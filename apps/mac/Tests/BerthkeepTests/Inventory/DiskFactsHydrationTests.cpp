#include "InventoryServiceTestSupport.hpp"
#include "InventoryTestSupport.hpp"

#include <chrono>
#include <thread>

#include "Berthkeep/Inventory/DiskUtilityDriveFactsHydrator.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using inventorytest::contains;
using inventorytest::linesWith;

const DriveInventoryAuditContext enhanced{ActivityDetectionMode::enhanced,
                                          BerthkeepAuditWorkPhase::backgroundWork,
                                          DriveInventoryRefreshStage::reconcile};

// `diskutil info -plist` of a plain external partition, with extra XML entries.
std::string infoPlist(const std::string& device, const std::string& extra = {}) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>DeviceIdentifier</key><string>" +
           device +
           "</string><key>Internal</key><false/><key>WholeDisk</key><false/>"
           "<key>Ejectable</key><true/><key>VolumeName</key><string>V " +
           device + "</string>" + extra + "</dict></plist>";
}

std::string deviceOf(const std::vector<std::string>& arguments) {
    return arguments.size() == 3 ? arguments[2] : std::string();
}

class DiskFactsHydratorTest : public ::testing::Test {
protected:
    DiskUtilityDriveFactsHydrator
    hydrator(inventorytest::RecordingDiskUtilityRunner::Handler handler,
             std::map<std::string, DiskArbitrationDiskDescription> descriptions = {}) {
        m_runner = std::make_shared<inventorytest::RecordingDiskUtilityRunner>(std::move(handler));
        return DiskUtilityDriveFactsHydrator(
            m_runner,
            std::make_shared<inventorytest::FakeDiskArbitrationDescriptions>(
                std::move(descriptions)),
            m_cache);
    }

    std::shared_ptr<IgnoredDriveCandidateCache> m_cache =
        std::make_shared<IgnoredDriveCandidateCache>();
    std::shared_ptr<inventorytest::RecordingDiskUtilityRunner> m_runner;
};

TEST_F(DiskFactsHydratorTest, PrefilterDropsImagesAndVirtualVolumesAndRemembersThemUntilReset) {
    DiskArbitrationDiskDescription imageDevice;
    imageDevice.deviceProtocol = "Disk Image";
    DiskArbitrationDiskDescription simulatorVolume;
    simulatorVolume.volumePath =
        QUrl::fromLocalFile("/Library/Developer/CoreSimulator/Volumes/iOS_21A/");
    DiskArbitrationDiskDescription assetsFolderItself; // the prefix needs its trailing slash
    assetsFolderItself.volumePath = QUrl::fromLocalFile("/System/Library/AssetsV2");
    auto facts = hydrator(
        {}, {{"disk9", imageDevice}, {"disk8s1", simulatorVolume}, {"disk6", assetsFolderItself}});
    const std::map<std::string, DiskImageAttachment> images{{"disk4", DiskImageAttachment{}}};
    const std::vector<std::string> listed{"disk4",   "disk4s1", "disk5s1",
                                          "disk8s1", "disk9",   "disk6"};

    inventorytest::AuditCapture audit(true);
    EXPECT_EQ(facts.prefilterHydrationCandidates(listed, images, enhanced),
              (std::vector<std::string>{"disk5s1", "disk6"}));
    EXPECT_EQ(facts.prefilterHydrationCandidates(listed, {}, enhanced),
              (std::vector<std::string>{"disk5s1", "disk6"}))
        << "remembered even without the image listing";
    m_cache->removeAll();
    EXPECT_EQ(facts.prefilterHydrationCandidates(listed, {}, enhanced),
              (std::vector<std::string>{"disk4", "disk4s1", "disk5s1", "disk6"}));
    EXPECT_TRUE(m_runner->calls().empty());

    const auto lines = linesWith(audit.entries(), "Prefiltered diskutil hydration candidates");
    ASSERT_EQ(lines.size(), 3u);
    const std::vector<std::vector<std::string>> expected{
        {"listed_count=6", "kept_count=2", "cached_ignore_count=1", "virtual_prefilter_count=3"},
        {"kept_count=2", "cached_ignore_count=4", "virtual_prefilter_count=0"},
        {"kept_count=4", "cached_ignore_count=0", "virtual_prefilter_count=2"},
    };
    for (std::size_t index = 0; index < lines.size(); ++index) {
        EXPECT_TRUE(contains(lines[index], "stage=reconcile")) << lines[index];
        EXPECT_TRUE(contains(lines[index], "method=prefilterHydrationCandidates")) << lines[index];
        for (const auto& part : expected[index]) {
            EXPECT_TRUE(contains(lines[index], part)) << part << " in " << lines[index];
        }
    }
}

TEST_F(DiskFactsHydratorTest, RunsFourInfoCallsAtATimeAndKeepsTheInputOrder) {
    // Later identifiers answer sooner, so completion order is the reverse.
    auto facts = hydrator([](const std::vector<std::string>& arguments) {
        const std::string device = deviceOf(arguments);
        std::this_thread::sleep_for(device == "disk2s1" ? 400ms : 300ms);
        return infoPlist(device);
    });
    const std::vector<std::string> identifiers{"disk2s1", "disk3s1", "disk4s1", "disk5s1",
                                               "disk6s1"};
    const auto started = std::chrono::steady_clock::now();
    const auto result = facts.decodeDiskFactsInParallel(identifiers, enhanced, {});
    const auto elapsed = std::chrono::steady_clock::now() - started;

    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->size(), identifiers.size());
    for (std::size_t index = 0; index < identifiers.size(); ++index) {
        EXPECT_EQ((*result)[index].deviceIdentifier, identifiers[index]);
    }
    EXPECT_EQ(m_runner->maximumRunning(), 4);
    EXPECT_GE(elapsed, 600ms) << "the fifth waits for a free slot";
    EXPECT_LT(elapsed, 1400ms) << "the first four run together";
    for (const auto& call : m_runner->calls()) {
        EXPECT_EQ(call[0], "info");
        EXPECT_EQ(call[1], "-plist");
    }
}

TEST_F(DiskFactsHydratorTest, AnyIdentifierThatFailsDiscardsTheWholeHydration) {
    auto facts = hydrator([](const std::vector<std::string>& arguments) -> std::string {
        const std::string device = deviceOf(arguments);
        if (device == "disk3s1") {
            throw std::runtime_error("timed out");
        }
        if (device == "disk4s1") {
            return "not a property list";
        }
        return infoPlist(device);
    });
    inventorytest::AuditCapture audit(true);
    EXPECT_EQ(facts.decodeDiskFactsInParallel({"disk2s1", "disk3s1", "disk5s1"}, enhanced, {}),
              std::nullopt);
    EXPECT_EQ(facts.decodeDiskFactsInParallel({"disk2s1", "disk4s1"}, enhanced, {}), std::nullopt);
    // A repeated identifier is decoded once but listed twice.
    EXPECT_EQ(facts.decodeDiskFactsInParallel({"disk2s1", "disk2s1"}, enhanced, {}), std::nullopt);

    const auto lines = linesWith(
        audit.entries(), "Falling back because diskutil info hydration missed listed candidates");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(contains(lines[0], "listed_count=3"));
    EXPECT_TRUE(contains(lines[0], "decoded_count=2"));
    EXPECT_TRUE(contains(lines[0], "method=decodeDiskFactsInParallel"));
    EXPECT_TRUE(contains(lines[1], "decoded_count=1"));
    EXPECT_TRUE(contains(lines[2], "listed_count=2"));
    EXPECT_TRUE(contains(lines[2], "decoded_count=1"));
}

TEST_F(DiskFactsHydratorTest, EmptyListIsAnEmptyResultWithoutAnyWork) {
    auto facts = hydrator({});
    inventorytest::AuditCapture audit(true);
    const auto result = facts.decodeDiskFactsInParallel({}, enhanced, {});
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
    EXPECT_TRUE(audit.entries().empty());
    EXPECT_TRUE(m_runner->calls().empty());
}

TEST_F(DiskFactsHydratorTest, OnlyADiskImageVerdictIsRemembered) {
    auto facts = hydrator([](const std::vector<std::string>& arguments) {
        const std::string device = deviceOf(arguments);
        if (device == "disk7s1") {
            return infoPlist(device, "<key>BusProtocol</key><string>Disk Image</string>");
        }
        return "<?xml version=\"1.0\"?><plist "
               "version=\"1.0\"><dict><key>DeviceIdentifier</key><string>" +
               device + "</string><key>Internal</key><true/></dict></plist>";
    });
    const auto result = facts.decodeDiskFactsInParallel({"disk7s1", "disk3s1"}, enhanced, {});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->size(), 2u) << "hydrated and returned this time";
    EXPECT_EQ(m_cache->ignoredIdentifiers(), (std::set<std::string>{"disk7s1"}));
    EXPECT_EQ(m_cache->ignoredGroupIdentifiers(), (std::set<std::string>{"disk7"}));
    EXPECT_EQ(facts.prefilterHydrationCandidates({"disk7s1", "disk7s2", "disk3s1"}, {}, enhanced),
              (std::vector<std::string>{"disk3s1"}));
}

// What the service test cannot stage: a device the disk service never
// reported, or one without a listed entry, has nothing to say it changed.
TEST_F(DiskFactsHydratorTest, AsksAlwaysAboutDevicesNothingWouldReportAChangeFor) {
    m_runner = std::make_shared<inventorytest::RecordingDiskUtilityRunner>(
        [](const std::vector<std::string>& arguments) { return infoPlist(deviceOf(arguments)); });
    auto descriptions = std::make_shared<inventorytest::FakeDiskArbitrationDescriptions>();
    DiskUtilityDriveFactsHydrator facts(m_runner, descriptions, m_cache);
    std::map<std::string, PropertyListValue> entries;
    for (const char* identifier : {"disk2s1", "disk3s1"}) {
        entries[identifier] = PropertyListValue::Dictionary{{"DeviceIdentifier", identifier}};
    }
    descriptions->report("disk2s1");
    descriptions->report("disk4s1");
    for (int refresh = 0; refresh < 2; ++refresh) {
        ASSERT_TRUE(facts.decodeDiskFactsInParallel({"disk2s1", "disk3s1", "disk4s1"}, enhanced, {},
                                                    entries));
    }
    std::map<std::string, int> asked;
    for (const auto& call : m_runner->calls()) {
        ++asked[deviceOf(call)];
    }
    EXPECT_EQ(asked, (std::map<std::string, int>{{"disk2s1", 1}, {"disk3s1", 2}, {"disk4s1", 2}}));
}

// The real stand-in, one `info` hung past the deadline: the time stays bounded
// and nothing is returned.
class DiskFactsHydrationStandInTest : public inventorytest::SimulatedMachineTest {};

TEST_F(DiskFactsHydrationStandInTest, HungInfoEndsAtTheDeadline) {
    SimulatedWorld world = makeSampleWorld(mountRoot(), false);
    stateFile().write(world);
    ScriptedBehaviour hang;
    hang.verb = "info";
    hang.device = "disk2s1";
    hang.hang = true;
    addBehaviour(hang);
    const auto runner = std::make_shared<inventorytest::OneHungInfoRunner>(
        inventorytest::standInPath("diskutil"), "disk2s1", 800ms,
        inventorytest::answeringCallTimeout);
    DiskUtilityDriveFactsHydrator facts(
        runner, std::make_shared<inventorytest::FakeDiskArbitrationDescriptions>(),
        std::make_shared<IgnoredDriveCandidateCache>());
    EXPECT_EQ(facts.decodeDiskFactsInParallel({"disk2", "disk2s1"}, enhanced, {}), std::nullopt);
    ASSERT_TRUE(runner->hungCallTook().has_value());
    EXPECT_LT(*runner->hungCallTook(), 3s);
    const auto whole = facts.decodeDiskFactsInParallel({"disk2"}, enhanced, {});
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->front().wholeDisk, std::optional<bool>(true));
}

} // namespace
} // namespace berthkeep
