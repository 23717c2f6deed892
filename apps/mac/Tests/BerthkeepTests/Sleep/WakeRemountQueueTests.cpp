#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

DriveIdentity uuid(const char* value) {
    DriveIdentity identity;
    identity.volumeUUID = value;
    return identity;
}

// A stick without a UUID: its id is its BSD name, and only media, size and bus
// path tell it apart.
DriveIdentity media(const char* name, const char* bus) {
    DriveIdentity identity;
    identity.mediaName = name;
    identity.sizeBytes = 1000;
    identity.busPath = bus;
    return identity;
}

DetectedDrive volume(const std::string& id, const std::string& bsdName, const std::string& disk,
                     DriveIdentity identity, bool mounted = false) {
    std::optional<QUrl> mountURL;
    if (mounted) {
        mountURL = QUrl::fromLocalFile(QString::fromStdString("/Volumes/" + id));
    }
    return DetectedDrive(id, id, mountURL, DetectedDrive::Scope::managed, true, bsdName, disk, disk,
                         true, std::move(identity));
}

RemountTarget target(const std::string& id, const std::string& name, const std::string& bsdName,
                     std::optional<std::string> disk, DriveIdentity identity = {}) {
    return RemountTarget{id, name, bsdName, disk, disk ? disk : std::optional(id), identity};
}

std::vector<std::string> names(const std::vector<RemountTarget>& targets) {
    std::vector<std::string> result;
    for (const RemountTarget& t : targets) {
        result.push_back(t.driveName);
    }
    return result;
}

TEST(WakeRemountQueue, HoldsEachDriveOnceInTheOrderItWasQueued) {
    WakeRemountQueue queue;
    queue.merge({target("a", "A", "disk2s1", "disk2"), target("b", "B", "disk3s1", std::nullopt)},
                {1, 0});
    // A drive queued again keeps its place; a repeat within one merge is still one drive.
    EXPECT_EQ(queue.merge({target("b", "B2", "disk3s1", std::nullopt),
                           target("c", "C", "disk4s1", std::nullopt),
                           target("c", "C2", "disk4s1", std::nullopt)},
                          {1, 0}),
              1u);
    EXPECT_EQ(names(queue.targets()), (std::vector<std::string>{"A", "B", "C"}));

    // First recorded without its identity, then with it: one entry, which keeps
    // the identity so the wake can find the drive.
    EXPECT_FALSE(queue.add(target("a", "A", "disk2s1", "disk2", uuid("U-A")), {1, 0}));
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue.targets()[0].identity, uuid("U-A"));
    EXPECT_EQ(queue.targets()[0], target("a", "A", "disk2s1", "disk2"))
        << "the identity is no part of what makes two targets the same";

    EXPECT_EQ(names(queue.take({"c", "a", "unknown"})), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(names(queue.targets()), (std::vector<std::string>{"B"}));
}

TEST(WakeRemountQueue, RemovesTheDrivesTheUserActedOnByWhoTheyAre) {
    WakeRemountQueue queue;
    queue.merge({target("U-A", "Alpha", "disk2s1", "disk2", uuid("U-A")),
                 target("disk3s1", "Stick", "disk3s1", "disk3", media("Stick", "usb@1")),
                 target("U-C", "Charlie", "disk5s1", "disk5", uuid("U-C"))},
                {1, 0});

    // The stick came back as disk6: a new id, the same drive. A new drive that
    // took disk3s1 has the old id, and is not the queued stick.
    const DetectedDrive newcomer = volume("disk3s1", "disk3s1", "disk3", media("Other", "usb@2"));
    EXPECT_TRUE(queue.remove({newcomer}, 2).empty());
    const DetectedDrive stick = volume("disk6s1", "disk6s1", "disk6", media("Stick", "usb@1"));
    const DetectedDrive alpha = volume("U-A", "disk4s1", "disk4", uuid("u-a"));
    EXPECT_EQ(names(queue.remove({stick, alpha}, 2)), (std::vector<std::string>{"Alpha", "Stick"}));
    EXPECT_EQ(names(queue.targets()), (std::vector<std::string>{"Charlie"}));
}

// The user's word on a drive stands over work begun before it, by whatever
// name the drive has now; work begun after it queues the drive again.
TEST(WakeRemountQueue, TheUsersWordOutranksOlderWork) {
    WakeRemountQueue queue;
    const RemountTarget stick =
        target("disk3s1", "Stick", "disk3s1", "disk3", media("Stick", "usb@1"));
    queue.add(stick, {1, 0});
    const DetectedDrive renumbered = volume("disk6s1", "disk6s1", "disk6", media("Stick", "usb@1"));
    EXPECT_EQ(names(queue.remove({renumbered}, 5)), std::vector<std::string>{"Stick"});

    EXPECT_TRUE(queue.spokenAboutSince(stick, 4));
    EXPECT_FALSE(queue.add(stick, {4, 0})) << "a sleep eject begun before the word";
    EXPECT_FALSE(queue.spokenAboutSince(stick, 5));
    EXPECT_TRUE(queue.add(stick, {6, 0})) << "a sleep begun after it";
    EXPECT_FALSE(queue.spokenAboutSince(target("U-A", "Alpha", "disk2s1", "disk2"), 0));
}

// Queued during the first wake (Eject & Sleep's eject): due only at the next.
// Seen mounted by a snapshot begun after it was queued: it leaves the queue; an
// older snapshot may still show the drive as it was before its eject.
TEST(WakeRemountQueue, ComesDueAtTheNextWakeAndLeavesOnceSeenMounted) {
    WakeRemountQueue queue;
    const RemountTarget alpha = target("U-A", "Alpha", "disk2s1", "disk2", uuid("U-A"));
    queue.snapshotBegun(7);
    queue.add(alpha, {3, 1});
    EXPECT_FALSE(queue.isDue(alpha, 1));
    EXPECT_FALSE(queue.anyDue(1));
    EXPECT_TRUE(queue.isDue(alpha, 2));

    const std::vector<DetectedDrive> up{volume("U-A", "disk4s1", "disk4", uuid("U-A"), true)};
    EXPECT_TRUE(queue.takeMounted(up, 7).empty());
    const std::vector<DetectedDrive> down{volume("U-A", "disk4s1", "disk4", uuid("U-A"))};
    EXPECT_TRUE(queue.takeMounted(down, 8).empty());
    EXPECT_EQ(names(queue.takeMounted(up, 8)), std::vector<std::string>{"Alpha"});
    EXPECT_TRUE(queue.empty());
}

TEST(WakeRemountQueue, FindsTheDriveUnderTheNameItHasNow) {
    const RemountTarget alpha = target("U-A", "Alpha", "disk2s1", "disk2", uuid("U-A"));
    const RemountTarget bravo = target("U-B", "Bravo", "disk3s1", "disk3", uuid("U-B"));
    const RemountTarget stick =
        target("disk4s1", "Stick", "disk4s1", std::nullopt, media("Stick", "usb@1"));
    const RemountTarget unknown = target("disk7s1", "Old", "disk7s1", std::nullopt);

    // Alpha and Bravo swapped numbers; a new drive took the stick's old name and
    // the stick came back as disk6.
    const std::vector<DetectedDrive> now{
        volume("U-B", "disk2s1", "disk2", uuid("U-B")),
        volume("U-A", "disk3s1", "disk3", uuid("U-A")),
        volume("disk4s1", "disk4s1", "disk4", media("Other", "usb@2")),
        volume("disk6s1", "disk6s1", "disk6", media("Stick", "usb@1")),
        volume("disk7s1", "disk7s1", "disk7", {}),
    };
    const RemountTarget alphaNow =
        WakeRemountQueue::retargeted(alpha, *WakeRemountQueue::findDrive(alpha, now));
    EXPECT_EQ(alphaNow, target("U-A", "Alpha", "disk3s1", "disk3"));
    EXPECT_EQ(alphaNow.identity, uuid("U-A"));
    EXPECT_EQ(WakeRemountQueue::retargeted(bravo, *WakeRemountQueue::findDrive(bravo, now)),
              target("U-B", "Bravo", "disk2s1", "disk2"));

    const DetectedDrive* found = WakeRemountQueue::findDrive(stick, now);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id(), "disk6s1");
    // Not grouped with its disk: only its own volume's name changes.
    EXPECT_EQ(WakeRemountQueue::retargeted(stick, *found),
              (RemountTarget{"disk4s1", "Stick", "disk6s1", std::nullopt, "disk4s1", {}}));

    // With nothing recorded to tell it by, or nothing read of it now, the id is
    // all there is.
    EXPECT_EQ(WakeRemountQueue::findDrive(unknown, now), &now[4]);
    const std::vector<DetectedDrive> unread{volume("U-A", "disk8s1", "disk8", {})};
    EXPECT_EQ(WakeRemountQueue::findDrive(alpha, unread), &unread[0]);
    EXPECT_EQ(WakeRemountQueue::findDrive(alpha, {now[2], now[3]}), nullptr);
}

} // namespace
} // namespace berthkeep
