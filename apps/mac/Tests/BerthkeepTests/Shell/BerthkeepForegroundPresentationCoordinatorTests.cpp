#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"

#include <gtest/gtest.h>

#include "platform/Activation/RecordingApplicationActivation.hpp"

namespace berthkeep {
namespace {

using Call = RecordingApplicationActivation::Call;

struct Fixture {
    std::shared_ptr<RecordingApplicationActivation> activation =
        std::make_shared<RecordingApplicationActivation>();
    std::unique_ptr<BerthkeepForegroundPresentationCoordinator> coordinator =
        std::make_unique<BerthkeepForegroundPresentationCoordinator>(activation);
};

TEST(BerthkeepForegroundPresentationCoordinator, SwitchesPolicyOnlyAtTheFirstBeginAndTheLastEnd) {
    Fixture fixture;
    auto first = fixture.coordinator->beginPresentation();
    auto second = fixture.coordinator->beginPresentation();
    EXPECT_EQ(fixture.activation->calls(), std::vector<Call>{Call::setRegular})
        << "beginning never activates";

    first->end();
    EXPECT_EQ(fixture.activation->calls(), std::vector<Call>{Call::setRegular});
    first->end();
    first.reset();
    EXPECT_EQ(fixture.activation->calls(), std::vector<Call>{Call::setRegular})
        << "a second end and the release after end change nothing";

    second.reset(); // released without end()
    EXPECT_EQ(fixture.activation->calls(),
              (std::vector<Call>{Call::setRegular, Call::setAccessory}));
    EXPECT_EQ(fixture.coordinator->activePresentationCount(), 0u);

    auto again = fixture.coordinator->beginPresentation();
    fixture.coordinator->activateIgnoringOtherApps();
    EXPECT_EQ(fixture.activation->calls(), (std::vector<Call>{Call::setRegular, Call::setAccessory,
                                                              Call::setRegular, Call::activate}));
}

TEST(BerthkeepForegroundPresentationCoordinator, TokenOutlivingItsCoordinatorEndsQuietly) {
    Fixture fixture;
    auto token = fixture.coordinator->beginPresentation();
    fixture.coordinator.reset();
    token->end();
    EXPECT_EQ(fixture.activation->calls(), std::vector<Call>{Call::setRegular});
}

} // namespace
} // namespace berthkeep
