#include "Berthkeep/Domain/TransientActionStatus.hpp"

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

using A = TransientActionStatusAction;
using Tone = TransientActionStatusTone;

// Every result text the panel shows after an eject, a mount or a refused sleep.
TEST(TransientActionStatus, FactoriesWriteTheResultTexts) {
    struct Case {
        TransientActionStatus made;
        TransientActionStatus expected;
    };
    const std::optional<std::string> none;
    const Case cases[] = {
        {TransientActionStatus::result(A::ejectAll, 1, 0, none),
         {A::ejectAll, "1 drive ejected", none, Tone::success}},
        {TransientActionStatus::result(A::ejectAndSleep, 2, 0, none),
         {A::ejectAndSleep, "2 drives ejected", "Putting Mac to sleep", Tone::success}},
        {TransientActionStatus::result(A::ejectAndSleep, 2, 0, "Stick"),
         {A::ejectAndSleep, "2 drives ejected", "Stick", Tone::success}},
        {TransientActionStatus::result(A::ejectAll, 0, 0, none),
         {A::ejectAll, "0 drives ejected", none, Tone::success}},
        {TransientActionStatus::result(A::ejectAll, 0, 1, none),
         {A::ejectAll, "1 drive still in use", none, Tone::attention}},
        {TransientActionStatus::result(A::ejectAll, 3, 2, none),
         {A::ejectAll, "2 drives still in use", "3 drives ejected", Tone::attention}},
        {TransientActionStatus::result(A::eject, 0, 1, "Stick"),
         {A::eject, "1 drive still in use", "Stick", Tone::attention}},
        {TransientActionStatus::mountResult(A::mount, 1, 0, none),
         {A::mount, "1 drive mounted", none, Tone::success}},
        {TransientActionStatus::mountResult(A::mount, 2, 1, none),
         {A::mount, "1 drive could not mount", "2 drives mounted", Tone::attention}},
        {TransientActionStatus::mountResult(A::mount, 0, 5, none),
         {A::mount, "5 drives could not mount", none, Tone::attention}},
        {TransientActionStatus::result(A::eject, 0, 0, "Stick", 1),
         {A::eject, "1 drive not attached", "Stick", Tone::attention}},
        {TransientActionStatus::result(A::ejectAll, 2, 1, none, 2),
         {A::ejectAll, "2 drives not attached", "1 drive still in use, 2 drives ejected",
          Tone::attention}},
        {TransientActionStatus::result(A::ejectAndSleep, 0, 0, none, 1),
         {A::ejectAndSleep, "1 drive not attached", none, Tone::attention}},
        {TransientActionStatus::mountResult(A::mount, 1, 0, none, 1),
         {A::mount, "1 drive not attached", "1 drive mounted", Tone::attention}},
        {TransientActionStatus::sleepRequestFailed(1),
         {A::ejectAndSleep, "1 drive ejected", "Sleep could not start", Tone::attention}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.made, c.expected) << c.expected.title;
    }
}

} // namespace
} // namespace berthkeep
