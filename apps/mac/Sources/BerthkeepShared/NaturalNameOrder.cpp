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

QCollator fileBrowserCollator(const QLocale& locale) {
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Opening a collator costs far more than a sort of a few names: each thread keeps one
// for its locale, and orders copy it.
const QCollator& threadCollator() {
    thread_local QLocale locale = collationLocale();
    thread_local QCollator collator = fileBrowserCollator(locale);
    if (const QLocale current = collationLocale(); current != locale) {
        locale = current;
        collator = fileBrowserCollator(locale);
    }
    return collator;
}

} // namespace

NaturalNameOrder::NaturalNameOrder()
    : m_collator(threadCollator()) {}

int NaturalNameOrder::compare(const QString& left, const QString& right) const {
    return m_collator.compare(left, right);
}

int NaturalNameOrder::compare(const std::string& left, const std::string& right) const {
    return compare(QString::fromStdString(left), QString::fromStdString(right));
}

} // namespace berthkeep
