#pragma once

#include <QCollator>
#include <QString>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace berthkeep {

// Names in the order a file browser shows them: locale-aware, case-insensitive,
// runs of digits by value ("Disk 9" before "Disk 10"). Every list of drive names
// the user sees sorts with it. Not safe to share between threads (the collator
// is not): make one per sort, which is cheap (it copies its thread's collator).
class NaturalNameOrder {
public:
    // The current locale; under the C locale, US English, whose collator keeps
    // the numeric mode the C locale would ignore.
    NaturalNameOrder();

    // Negative, zero or positive.
    int compare(const QString& left, const QString& right) const;
    int compare(const std::string& left, const std::string& right) const;

    // A stable sort by the name `nameOf` gives each element: equal names keep
    // their incoming order. Each name is converted once.
    template <typename Element, typename NameOf>
    std::vector<Element> sorted(std::vector<Element> elements, NameOf nameOf) const {
        std::vector<std::pair<QString, std::size_t>> keys;
        keys.reserve(elements.size());
        for (std::size_t index = 0; index < elements.size(); ++index) {
            keys.emplace_back(QString::fromStdString(nameOf(elements[index])), index);
        }
        std::stable_sort(keys.begin(), keys.end(), [this](const auto& left, const auto& right) {
            return compare(left.first, right.first) < 0;
        });
        std::vector<Element> result;
        result.reserve(elements.size());
        for (const auto& key : keys) {
            result.push_back(std::move(elements[key.second]));
        }
        return result;
    }

private:
    QCollator m_collator;
};

} // namespace berthkeep
