#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "BerthkeepShared/NaturalNameOrder.hpp"

namespace berthkeep {
namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(NaturalNameOrderTest, DigitsByValueLettersWithoutCase) {
    struct Row {
        const char* left;
        const char* right;
        int expected;
    };
    const Row rows[] = {
        {"Disk 9", "Disk 10", -1},
        {"Disk 10", "Disk 9", 1},
        {"disk 2", "Disk 10", -1},
        {"Backup", "backup", 0},
        {"a2b", "a10a", -1},
        {"Archive", "Zeta", -1},
        {"", "A", -1},
    };
    const NaturalNameOrder order;
    for (const Row& row : rows) {
        EXPECT_EQ(sign(order.compare(std::string(row.left), std::string(row.right))), row.expected)
            << row.left << " vs " << row.right;
    }
}

TEST(NaturalNameOrderTest, SortedIsStableAndReadsTheNameOfEachElement) {
    using Item = std::pair<std::string, int>;
    const std::vector<Item> items{{"Disk 10", 1}, {"disk 9", 2}, {"Backup", 3},
                                  {"Disk 9", 4},  {"Disk 2", 5}, {"backup", 6}};
    const auto sorted =
        NaturalNameOrder().sorted(items, [](const Item& item) { return item.first; });
    std::vector<int> order;
    for (const auto& item : sorted) {
        order.push_back(item.second);
    }
    EXPECT_EQ(order, (std::vector<int>{3, 6, 5, 2, 4, 1}));
    EXPECT_TRUE(NaturalNameOrder()
                    .sorted(std::vector<Item>{}, [](const Item& item) { return item.first; })
                    .empty());
}

} // namespace
} // namespace berthkeep
