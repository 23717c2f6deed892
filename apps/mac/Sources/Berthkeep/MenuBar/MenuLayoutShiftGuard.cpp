#include "Berthkeep/MenuBar/MenuLayoutShiftGuard.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {

MenuLayoutShiftGuard::MenuLayoutShiftGuard(std::shared_ptr<Clock> clock,
                                           Clock::Duration quietPeriod,
                                           std::optional<BerthkeepLogger> logger)
    : m_clock(std::move(clock))
    , m_quietPeriod(quietPeriod)
    , m_logger(logger.value_or(
          BerthkeepLogger::live(BerthkeepRuntimeIdentity::currentBundleIdentifier()))) {}

void MenuLayoutShiftGuard::observe(std::vector<Row> rows) {
    std::vector<PlacedRow> placed;
    placed.reserve(rows.size());
    for (Row& row : rows) {
        std::optional<Clock::TimePoint> movedAt;
        if (m_rows) {
            const PlacedRow* before = placedRow(row.key);
            movedAt = before != nullptr && before->row.screenArea == row.screenArea
                          ? before->movedAt
                          : std::optional(m_clock->now());
        }
        placed.push_back({std::move(row), movedAt});
    }
    m_rows = std::move(placed);
}

const MenuLayoutShiftGuard::PlacedRow* MenuLayoutShiftGuard::placedRow(const QString& key) const {
    if (!m_rows) {
        return nullptr;
    }
    const auto found = std::find_if(m_rows->begin(), m_rows->end(),
                                    [&key](const PlacedRow& seen) { return seen.row.key == key; });
    return found != m_rows->end() ? &*found : nullptr;
}

void MenuLayoutShiftGuard::reset() {
    m_rows.reset();
}

void MenuLayoutShiftGuard::noteShift() {
    m_shiftedAt = m_clock->now();
}

bool MenuLayoutShiftGuard::admitsClick(const QString& key, const QString& rowName) const {
    const Clock::TimePoint now = m_clock->now();
    const auto recent = [this, now](const std::optional<Clock::TimePoint>& at) {
        return at && now - *at < m_quietPeriod;
    };
    const PlacedRow* row = placedRow(key);
    const std::optional<Clock::TimePoint> movedAt = row != nullptr ? row->movedAt : std::nullopt;
    const bool rowMoved = recent(movedAt);
    if (!rowMoved && !recent(m_shiftedAt)) {
        return true;
    }
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        now - (rowMoved ? *movedAt : *m_shiftedAt));
    m_logger.notice(
        BerthkeepLogCategory::state, "menu.click.dropped",
        rowMoved ? "Click dropped: the row had just moved under the pointer"
                 : "Click dropped: a drive's menu had just closed under the pointer",
        {{"row", rowName.toStdString()},
         {"reason", rowMoved ? "row_moved" : "menu_closed"},
         {"since_ms", std::to_string(since.count())},
         {"quiet_period_ms",
          std::to_string(
              std::chrono::duration_cast<std::chrono::milliseconds>(m_quietPeriod).count())}});
    return false;
}

} // namespace berthkeep
