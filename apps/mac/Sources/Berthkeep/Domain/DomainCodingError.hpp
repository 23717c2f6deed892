#pragma once

#include <stdexcept>
#include <string>

namespace berthkeep {

// Failure of the JSON coding of a domain record.
class DomainCodingError : public std::runtime_error {
public:
    enum class Kind {
        typeMismatch,  // a value has the wrong JSON type
        keyNotFound,   // a required key is missing
        valueNotFound, // a required key holds null
        dataCorrupted, // a value of the right type that names nothing we know
        invalidValue,  // a value that cannot be written (a non-finite number)
    };

    DomainCodingError(Kind kind, const std::string& description)
        : std::runtime_error(description)
        , m_kind(kind) {}

    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

} // namespace berthkeep
