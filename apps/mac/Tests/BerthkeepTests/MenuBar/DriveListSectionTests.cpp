#include "Berthkeep/MenuBar/DriveListSection.hpp"

#include <gtest/gtest.h>

#include <QAction>

#include "Berthkeep/MenuBar/DriveGroupCard.hpp"
#include "Berthkeep/MenuBar/DriveStatusIndicator.hpp"
#include "MenuBarTestSupport.hpp"

namespace berthkeep {
namespace {

using Status = DriveStatus;
using Visibility = DriveStatusVisibility;
using Strings = std::vector<std::string>;

DriveRowState row(const std::string& id, const std::string& name, Status status,
                  Visibility visibility = Visibility::activity) {
    return {id, name, status, visibility, {}};
}

DriveAction action(const std::string& id, DriveAction::Kind kind, bool enabled = true) {
    return {id, id, kind, kind == DriveAction::Kind::eject ? "Eject" : "Mount", enabled};
}

Strings idsOf(const std::vector<DriveGroupState>& groups) {
    Strings ids;
    for (const DriveGroupState& group : groups) {
        ids.push_back(group.id);
    }
    return ids;
}

TEST(DriveListSection, OrdersGroupsByUrgencyThenLabel) {
    struct Case {
        std::string name;
        std::vector<DriveRowState> drives;
        std::vector<DriveGroupState> groups;
        Strings expected;
    };
    const std::vector<Case> cases{
        {"rows alone, busy first then by name",
         {row("b", "Beta", Status::safe), row("a", "alpha", Status::busy),
          row("g", "Gamma 10", Status::safe)},
         {},
         {"a", "b", "g"}},
        {"digits compare by value",
         {row("10", "Disk 10", Status::safe), row("2", "Disk 2", Status::safe)},
         {},
         {"2", "10"}},
        {"groups naming no known row fall back to the rows",
         {row("b", "Beta", Status::safe), row("a", "Alpha", Status::safe)},
         {{"g1", "Ghost", {"x"}}, {"g2", std::nullopt, {"y", "z"}}},
         {"a", "b"}},
        {"a row no group names is left out",
         {row("a", "A", Status::safe), row("b", "B", Status::safe), row("c", "C", Status::busy)},
         {{"disk4", "Disk", {"a", "b"}}},
         {"disk4"}},
        {"equal priority and label keep the given order",
         {row("a", "Same", Status::safe), row("b", "Same", Status::safe)},
         {{"second", "Twin", {"b"}}, {"first", "Twin", {"a"}}},
         {"second", "first"}},
        {"an untitled group sorts by its first known row",
         {row("a", "Zulu", Status::safe), row("b", "Mike", Status::safe),
          row("c", "Kilo", Status::safe)},
         {{"titled", "Lima", {"c"}}, {"untitled", std::nullopt, {"missing", "b", "a"}}},
         {"titled", "untitled"}},
        {"the most urgent row decides for its group",
         {row("a", "Alpha", Status::safe), row("b", "Beta", Status::excluded),
          row("c", "Charlie", Status::mounting)},
         {{"g1", "One", {"a", "b"}}, {"g2", "Two", {"b", "c"}}},
         {"g2", "g1"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(idsOf(DriveListSection::orderedGroups(test.drives, test.groups)), test.expected);
    }
}

// Cards of one group with the given rows and actions, laid out in a section.
struct CardCase {
    std::string name;
    std::vector<DriveRowState> drives;
    std::vector<DriveAction> actions;
    bool isWorking = false;
    std::string title;
    std::string detail;
    Strings menuItems;
    bool hasDot = true;
};

TEST(DriveListSection, CardTextsDotsAndContextMenus) {
    using K = DriveAction::Kind;
    const std::vector<CardCase> cases{
        {"busy beside safe: the busy row speaks for the group",
         {row("a", "Data", Status::safe), row("b", "Photos", Status::busy)},
         {action("a", K::eject), action("b", K::eject)},
         false,
         "Group",
         "2 volumes \u00B7 Still in use",
         {"Eject All"}},
        {"mount wins over eject",
         {row("a", "Data", Status::notMounted), row("b", "Photos", Status::safe)},
         {action("a", K::mount), action("b", K::eject)},
         false,
         "Group",
         "2 volumes \u00B7 Not mounted",
         {"Mount All"}},
        {"disabled actions give no group item",
         {row("a", "Data", Status::safe), row("b", "Photos", Status::safe)},
         {action("a", K::eject, false), action("b", K::eject, false)},
         false,
         "Group",
         "2 volumes \u00B7 Safe",
         {}},
        {"every row hidden: only the volume count",
         {row("a", "Data", Status::safe, Visibility::hidden),
          row("b", "Photos", Status::safe, Visibility::hidden), row("c", "Other", Status::safe)},
         {},
         false,
         "Group",
         "2 volumes",
         {}},
        {"no row shows activity: plain card, no dot, no detail",
         {row("a", "Data", Status::busy, Visibility::neutral),
          row("b", "Photos", Status::safe, Visibility::neutral)},
         {action("a", K::eject)},
         false,
         "Group",
         "",
         {"Eject All"},
         false},
        {"no item while an attempt runs",
         {row("a", "Data", Status::ejecting), row("b", "Photos", Status::ejecting)},
         {action("a", K::eject), action("b", K::eject)},
         true,
         "Group",
         "2 volumes \u00B7 Ejecting",
         {}},
    };
    for (const CardCase& test : cases) {
        SCOPED_TRACE(test.name);
        // The group holds the first two rows; a third, if any, is not shown.
        const DriveGroupState group{"g", "Group", {test.drives[0].id, test.drives[1].id}};
        std::vector<std::string> groupCalls;
        DriveListSection section(test.drives, {group}, test.actions, test.isWorking, {},
                                 [&groupCalls](DriveGroupActionKind, const std::string& id) {
                                     groupCalls.push_back(id);
                                 });
        menutest::layOut(section, 300);
        const auto cards = menutest::visibleChildren<DriveGroupCard>(section);
        ASSERT_EQ(cards.size(), 1u);
        const DriveGroupCard& card = *cards.front();
        EXPECT_EQ(card.summaryTitle(), test.title);
        EXPECT_EQ(card.summaryDetail(), test.detail);
        Strings items;
        for (QAction* item : card.actions()) {
            items.push_back(item->text().toStdString());
            item->trigger();
        }
        EXPECT_EQ(items, test.menuItems);
        EXPECT_EQ(groupCalls, Strings(test.menuItems.size(), "g"));
        EXPECT_EQ(menutest::visibleChildren<DriveStatusIndicator>(section).size(),
                  test.hasDot ? 1u : 0u);
    }
}

TEST(DriveListSection, SingleDriveCardsOfferTheirOwnActionOnly) {
    using K = DriveAction::Kind;
    const std::vector<DriveRowState> drives{row("a", "Alpha", Status::busy),
                                            row("b", "Beta", Status::notMounted),
                                            row("c", "Gamma", Status::safe, Visibility::hidden)};
    const std::vector<DriveAction> actions{action("a", K::eject), action("b", K::mount),
                                           action("c", K::eject, false)};
    std::vector<std::pair<K, std::string>> calls;
    DriveListSection section(
        drives, {}, actions, false,
        [&calls](K kind, const std::string& id) { calls.emplace_back(kind, id); },
        [](DriveGroupActionKind, const std::string&) { FAIL() << "no group on a single drive"; });
    menutest::layOut(section, 300);

    const Strings expected{"[card]", "Alpha",       "Still in use", "[card]",
                           "Beta",   "Not mounted", "[card]",       "Gamma"};
    EXPECT_EQ(menutest::transcript(section), expected);
    const auto cards = menutest::visibleChildren<DriveGroupCard>(section);
    ASSERT_EQ(cards.size(), 3u);
    for (const DriveGroupCard* card : cards) {
        for (QAction* item : card->actions()) {
            item->trigger();
        }
    }
    EXPECT_EQ(calls, (std::vector<std::pair<K, std::string>>{{K::eject, "a"}, {K::mount, "b"}}));
    EXPECT_TRUE(cards[2]->actions().isEmpty());

    // Busy titles take the busy colour; quiet ones stay primary and faded.
    const QPalette palette = section.palette();
    EXPECT_EQ(cards[0]->titleColor(), MenuBarPalette::busyStatus(palette));
    EXPECT_EQ(cards[1]->titleColor(),
              MenuBarPalette::withOpacity(MenuBarPalette::primary(palette), 0.82));
}

} // namespace
} // namespace berthkeep
