#pragma once

#include <stdexcept>

#include <gtest/gtest.h>

// ASSERT_* returns from the enclosing function, which a coroutine cannot do.
// The CO_ASSERT_* forms run the gtest assertion in a plain lambda (so the failure
// message is gtest's own) and, when it fails, throw CoroutineAssertionFailure to
// end the coroutine. runTask() rethrows it, which ends the test (gtest adds a
// line saying the exception was thrown).
// EXPECT_* work unchanged inside coroutines. Await into a local first: the
// arguments must not contain co_await. No `<< message` after a CO_ASSERT_*;
// use SCOPED_TRACE for context.
//
//     QCoro::Task<void> scenario(std::shared_ptr<ManualClock> clock) {
//         const auto result = co_await something(clock);
//         CO_ASSERT_TRUE(result.has_value());
//         EXPECT_EQ(*result, 3);
//     }
//     TEST(Thing, Works) { runTask(scenario(clock)); }

namespace berthkeep::test {

class CoroutineAssertionFailure : public std::runtime_error {
public:
    CoroutineAssertionFailure() : std::runtime_error("a coroutine assertion failed (see the failure above)") {}
};

} // namespace berthkeep::test

#define BERTHKEEP_CO_ASSERT(assertion)                                                                                 \
    do {                                                                                                               \
        const bool failedBefore_ = ::testing::Test::HasFatalFailure();                                                 \
        [&]() { assertion; }();                                                                                        \
        if (!failedBefore_ && ::testing::Test::HasFatalFailure()) {                                                    \
            throw ::berthkeep::test::CoroutineAssertionFailure();                                                      \
        }                                                                                                              \
    } while (false)

#define CO_ASSERT_TRUE(...) BERTHKEEP_CO_ASSERT(ASSERT_TRUE(__VA_ARGS__))
#define CO_ASSERT_FALSE(...) BERTHKEEP_CO_ASSERT(ASSERT_FALSE(__VA_ARGS__))
#define CO_ASSERT_EQ(...) BERTHKEEP_CO_ASSERT(ASSERT_EQ(__VA_ARGS__))
#define CO_ASSERT_NE(...) BERTHKEEP_CO_ASSERT(ASSERT_NE(__VA_ARGS__))
#define CO_ASSERT_LT(...) BERTHKEEP_CO_ASSERT(ASSERT_LT(__VA_ARGS__))
#define CO_ASSERT_LE(...) BERTHKEEP_CO_ASSERT(ASSERT_LE(__VA_ARGS__))
#define CO_ASSERT_GT(...) BERTHKEEP_CO_ASSERT(ASSERT_GT(__VA_ARGS__))
#define CO_ASSERT_GE(...) BERTHKEEP_CO_ASSERT(ASSERT_GE(__VA_ARGS__))
#define CO_FAIL(message) BERTHKEEP_CO_ASSERT(FAIL() << message)
