#include "BerthkeepShared/CancelToken.hpp"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

TEST(CancelToken, RunsEachCallbackOnceAndLateCallbacksAtOnce) {
    auto token = CancelToken::make();
    int first = 0;
    int removed = 0;
    token->onCancel([&] { ++first; });
    const auto id = token->onCancel([&] { ++removed; });
    token->removeCallback(id);
    EXPECT_FALSE(token->isCancelled());

    token->cancel();
    token->cancel();
    EXPECT_TRUE(token->isCancelled());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(removed, 0);

    int late = 0;
    EXPECT_EQ(token->onCancel([&] { ++late; }), 0u);
    EXPECT_EQ(late, 1);
}

TEST(CancelToken, ThrowingCallbackDoesNotStopTheOthers) {
    auto token = CancelToken::make();
    int ran = 0;
    token->onCancel([] { throw std::runtime_error("boom"); });
    token->onCancel([&] { ++ran; });
    token->cancel();
    EXPECT_EQ(ran, 1);
}

TEST(CancelToken, CallbackMayRegisterAndRemoveDuringCancel) {
    auto token = CancelToken::make();
    int nested = 0;
    CancelToken::CallbackId other = 0;
    token->onCancel([&] {
        token->removeCallback(other);
        token->onCancel([&] { ++nested; });
    });
    other = token->onCancel([] {});
    token->cancel();
    EXPECT_EQ(nested, 1);
}

TEST(CancelToken, ChildFollowsParentButNotTheOtherWay) {
    auto parent = CancelToken::make();
    auto child = CancelToken::makeChild(parent);
    auto sibling = CancelToken::makeChild(parent);
    child->cancel();
    EXPECT_FALSE(parent->isCancelled());
    EXPECT_FALSE(sibling->isCancelled());
    parent->cancel();
    EXPECT_TRUE(sibling->isCancelled());

    EXPECT_TRUE(CancelToken::makeChild(parent)->isCancelled());
    EXPECT_FALSE(CancelToken::makeChild(nullptr)->isCancelled());
}

TEST(CancelToken, DestroyedChildLeavesNoCallbackOnTheParent) {
    auto parent = CancelToken::make();
    for (int i = 0; i < 100; ++i) {
        auto child = CancelToken::makeChild(parent);
    }
    // A fresh callback gets the next id; the children's ids were all removed, so
    // cancel runs exactly one callback.
    int calls = 0;
    parent->onCancel([&] { ++calls; });
    parent->cancel();
    EXPECT_EQ(calls, 1);
}

TEST(CancelToken, ThrowIfCancelled) {
    auto token = CancelToken::make();
    EXPECT_NO_THROW(throwIfCancelled(token));
    EXPECT_NO_THROW(throwIfCancelled(nullptr));
    token->cancel();
    EXPECT_THROW(throwIfCancelled(token), CancellationError);
}

TEST(CancelToken, RegistrationRacingCancelRunsEveryCallbackExactlyOnce) {
    for (int round = 0; round < 50; ++round) {
        auto token = CancelToken::make();
        std::atomic<int> calls{0};
        constexpr int perThread = 50;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < perThread; ++i) {
                    token->onCancel([&] { calls.fetch_add(1); });
                }
            });
        }
        threads.emplace_back([&] { token->cancel(); });
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(calls.load(), 4 * perThread);
    }
}

} // namespace
} // namespace berthkeep
