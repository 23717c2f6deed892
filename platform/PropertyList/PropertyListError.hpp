#pragma once

#include <stdexcept>
#include <string>

namespace berthkeep {

// Property-list bytes that are not read: the case, and what() says why in words
// fit for a log line.
class PropertyListError : public std::runtime_error {
public:
    enum class Reason {
        // Empty, not XML, truncated, or an element the reader does not know.
        malformed,
        // A binary property list; only XML ones are read.
        binary,
        // A NUL character, which no XML text may hold.
        nulCharacter,
        // Arrays and dictionaries nested deeper than the reader allows.
        tooDeep,
    };

    PropertyListError(Reason reason, const std::string& description);

    Reason reason() const noexcept { return m_reason; }

private:
    Reason m_reason;
};

} // namespace berthkeep
