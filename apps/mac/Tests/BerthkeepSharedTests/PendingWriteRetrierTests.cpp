#include "BerthkeepShared/PendingWriteRetrier.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "BerthkeepShared/ManualClock.hpp"
#include "FileText.hpp"
#include "FullFileSystem.hpp"
#include "TaskDriver.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::fileText;

TEST(PendingWriteRetrierTest, RetriesAFailedWriteWithBackOffUntilItIsKept) {
    auto clock = std::make_shared<ManualClock>();
    PendingWriteRetrier retrier(clock, {1s, 3s});
    test::FullFileSystem disk;
    AtomicFileWriter writer(disk.folder() + "/prefs.plist");
    disk.fill();
    ASSERT_FALSE(writer.write("notice").succeeded());
    ASSERT_TRUE(test::processEventsUntil([&] { return clock->sleeperCount() == 1; }));
    EXPECT_TRUE(retrier.isRetrying());

    // Still full: the delays double up to the bound (1 s, 2 s, 3 s, 3 s).
    for (const auto delay : {1s, 2s, 3s}) {
        EXPECT_EQ(clock->nextDeadline(), clock->now() + delay);
        clock->advance(delay);
        EXPECT_TRUE(writer.hasPending());
    }
    EXPECT_EQ(clock->nextDeadline(), clock->now() + 3s);

    disk.makeRoom();
    clock->advance(3s);
    EXPECT_FALSE(writer.hasPending());
    EXPECT_EQ(fileText(writer.path()), "notice");
    EXPECT_FALSE(retrier.isRetrying());
    EXPECT_EQ(clock->sleeperCount(), 0u) << "idle until the next failure";
}

} // namespace
} // namespace berthkeep
