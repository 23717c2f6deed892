#include "Berthkeep/Inventory/DiskUtilityError.hpp"

namespace berthkeep {

DiskUtilityError::DiskUtilityError(std::int64_t code, std::string localizedDescription)
    : std::runtime_error(localizedDescription)
    , m_domain(errorDomain)
    , m_code(code)
    , m_localizedDescription(std::move(localizedDescription)) {}

} // namespace berthkeep
