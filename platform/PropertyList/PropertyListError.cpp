#include "platform/PropertyList/PropertyListError.hpp"

namespace berthkeep {

PropertyListError::PropertyListError(Reason reason, const std::string& description)
    : std::runtime_error(description)
    , m_reason(reason) {}

} // namespace berthkeep
