#pragma once

#include <QRect>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Keeps a destructive click from landing on whatever slid under the pointer.
// It is told where the menu's rows sit on screen whenever they may have moved,
// and a click counts only once they have held still for the quiet period. A
// row that moves, resizes, comes or goes, or a card menu that closes because
// its card changed, restarts that period. Main thread only.
class MenuLayoutShiftGuard {
public:
    static constexpr std::chrono::milliseconds defaultQuietPeriod{500};

    // One row as drawn: what it is and where it sits on screen.
    struct Row {
        QString key;
        QRect screenArea;
        bool operator==(const Row&) const = default;
    };

    explicit MenuLayoutShiftGuard(std::shared_ptr<Clock> clock,
                                  Clock::Duration quietPeriod = defaultQuietPeriod);

    // The rows as they now sit, top to bottom; the first call after reset()
    // only takes them as they are.
    void observe(std::vector<Row> rows);
    // The panel closed: the rows it shows when it opens again are no shift.
    void reset();
    void noteShift();
    bool isSettled() const;

private:
    std::shared_ptr<Clock> m_clock;
    Clock::Duration m_quietPeriod;
    std::optional<std::vector<Row>> m_rows;
    std::optional<Clock::TimePoint> m_shiftedAt;
};

} // namespace berthkeep
