#pragma once

#include <stdexcept>

namespace berthkeep {

// A reply or payload of the activity monitor that does not decode: a missing
// required key or a value of the wrong type.
class RustRecentActivityCodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace berthkeep
