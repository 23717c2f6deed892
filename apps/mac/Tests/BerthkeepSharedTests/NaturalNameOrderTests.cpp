#include <gtest/gtest.h>

#include <string>

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

} // namespace
} // namespace berthkeep
