#pragma once

#include <optional>
#include <string>

namespace berthkeep {

namespace DriveInventoryText {

// The text without white space and line breaks at both ends; nothing for nothing
// and for a text that trims to empty. Every optional text from `diskutil` or the
// disk service passes through it before use.
std::optional<std::string> nonEmpty(const std::optional<std::string>& text);

// White space and line breaks (Unicode) trimmed at both ends.
std::string trimmed(const std::string& text);

} // namespace DriveInventoryText

} // namespace berthkeep
