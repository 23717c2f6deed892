#include "Berthkeep/Inventory/DetectedDrive+Sorting.hpp"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>

namespace berthkeep {

namespace {

// A collator is cheap to make and not safe to share between threads; snapshots
// sort on worker threads, so each sort makes its own.
QCollator makeDriveNameCollator() {
    QLocale locale;
    // Under the C locale the collator compares code points and ignores numeric
    // mode; a machine without a configured language still gets the file-browser
    // order.
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

int localizedStandardCompare(const std::string& left, const std::string& right) {
    return makeDriveNameCollator().compare(QString::fromStdString(left),
                                           QString::fromStdString(right));
}

std::vector<DetectedDrive> sortedByLocalizedDriveName(std::vector<DetectedDrive> drives) {
    const QCollator collator = makeDriveNameCollator();
    std::vector<std::pair<QString, std::size_t>> keys;
    keys.reserve(drives.size());
    for (std::size_t index = 0; index < drives.size(); ++index) {
        keys.emplace_back(QString::fromStdString(drives[index].name()), index);
    }
    std::stable_sort(keys.begin(), keys.end(), [&collator](const auto& left, const auto& right) {
        return collator.compare(left.first, right.first) < 0;
    });
    std::vector<DetectedDrive> sorted;
    sorted.reserve(drives.size());
    for (const auto& key : keys) {
        sorted.push_back(std::move(drives[key.second]));
    }
    return sorted;
}

} // namespace berthkeep
