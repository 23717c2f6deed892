#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

using Info = PropertyListValue::Dictionary;

TEST(BerthkeepUpdaterController, StartsTheUpdaterOnlyWithFeedAndKey) {
    struct Case {
        Info info;
        bool available;
    };
    const std::string feed = "https://example.com/appcast.xml";
    const Case cases[] = {
        {{{"SUFeedURL", feed}, {"SUPublicEDKey", std::string("key")}}, true},
        {{{"SUFeedURL", feed}, {"SUPublicEDKey", std::string()}}, false},
        {{{"SUFeedURL", feed}}, false},
        {{}, false},
    };
    for (const Case& testCase : cases) {
        std::shared_ptr<AbsentSoftwareUpdater> made;
        int broughtForward = 0;
        BerthkeepUpdaterController controller(
            testCase.info,
            [&made](std::weak_ptr<SoftwareUpdaterDelegate>) {
                made = std::make_shared<AbsentSoftwareUpdater>();
                return made;
            },
            nullptr, [&] { ++broughtForward; });
        EXPECT_EQ(controller.isUpdateCommandAvailable(), testCase.available);
        controller.checkForUpdates();
        ASSERT_EQ(made != nullptr, testCase.available);
        EXPECT_EQ(broughtForward, testCase.available ? 1 : 0);
        if (made) {
            EXPECT_TRUE(made->isStarted());
            EXPECT_TRUE(made->automaticallyChecks());
            EXPECT_EQ(made->checkRequests(), 1);
        }
    }
}

} // namespace
} // namespace berthkeep
