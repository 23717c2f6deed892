#pragma once

#include <QRect>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Keeps a click from landing on whatever slid under the pointer. It is told
// where the menu's rows sit on screen whenever they may have moved, and a click
// on a row counts only once that row has held still for the quiet period. A row
// that moves, resizes or comes restarts its own period; rows that held still
// take clicks at once. A card menu that closes because its card changed
// restarts the period of every row, as something else now lies under the
// pointer. Each click dropped is logged once, naming the row. Main thread only.
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
                                  Clock::Duration quietPeriod = defaultQuietPeriod,
                                  std::optional<BerthkeepLogger> logger = std::nullopt);

    // The rows as they now sit, top to bottom; the first call after reset()
    // only takes them as they are.
    void observe(std::vector<Row> rows);
    // The panel closed: the rows it shows when it opens again are no shift.
    void reset();
    void noteShift();
    // Whether a click on the row with this key counts; `rowName` is what the
    // log calls it when it does not.
    bool admitsClick(const QString& key, const QString& rowName) const;

private:
    struct PlacedRow {
        Row row;
        // Unset: where it sat when the panel opened.
        std::optional<Clock::TimePoint> movedAt;
    };

    // Null for a row not drawn, or while the panel is closed.
    const PlacedRow* placedRow(const QString& key) const;

    std::shared_ptr<Clock> m_clock;
    Clock::Duration m_quietPeriod;
    BerthkeepLogger m_logger;
    std::optional<std::vector<PlacedRow>> m_rows;
    std::optional<Clock::TimePoint> m_shiftedAt;
};

} // namespace berthkeep
