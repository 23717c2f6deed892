#include "Berthkeep/MenuBar/MenuLayoutShiftGuard.hpp"

#include <utility>

namespace berthkeep {

MenuLayoutShiftGuard::MenuLayoutShiftGuard(std::shared_ptr<Clock> clock,
                                           Clock::Duration quietPeriod)
    : m_clock(std::move(clock))
    , m_quietPeriod(quietPeriod) {}

void MenuLayoutShiftGuard::observe(std::vector<Row> rows) {
    if (m_rows && *m_rows != rows) {
        noteShift();
    }
    m_rows = std::move(rows);
}

void MenuLayoutShiftGuard::reset() {
    m_rows.reset();
}

void MenuLayoutShiftGuard::noteShift() {
    m_shiftedAt = m_clock->now();
}

bool MenuLayoutShiftGuard::isSettled() const {
    return !m_shiftedAt || m_clock->now() - *m_shiftedAt >= m_quietPeriod;
}

} // namespace berthkeep
