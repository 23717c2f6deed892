#include "BerthkeepShared/NaturalNameOrder.hpp"

#include <QLocale>

namespace berthkeep {

namespace {

QLocale collationLocale() {
    QLocale locale;
    // Under the C locale the collator compares code points and ignores numeric
    // mode; a machine without a configured language still gets the file-browser
    // order.
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return locale;
}

} // namespace

NaturalNameOrder::NaturalNameOrder()
    : m_collator(collationLocale()) {
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

int NaturalNameOrder::compare(const QString& left, const QString& right) const {
    return m_collator.compare(left, right);
}

int NaturalNameOrder::compare(const std::string& left, const std::string& right) const {
    return compare(QString::fromStdString(left), QString::fromStdString(right));
}

} // namespace berthkeep
