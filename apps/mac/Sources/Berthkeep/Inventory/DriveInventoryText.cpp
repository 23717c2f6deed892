#include "Berthkeep/Inventory/DriveInventoryText.hpp"

#include <QString>

namespace berthkeep::DriveInventoryText {

std::string trimmed(const std::string& text) {
    // QString::trimmed covers the Unicode white-space set (no-break and ideographic
    // spaces, line and paragraph separators), not only ASCII blanks.
    return QString::fromStdString(text).trimmed().toStdString();
}

std::optional<std::string> nonEmpty(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    std::string result = trimmed(*text);
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

} // namespace berthkeep::DriveInventoryText
