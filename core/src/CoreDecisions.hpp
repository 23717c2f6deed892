#pragma once

#include <string>
#include <string_view>

namespace berthkeep::core {

// The three decisions over JSON text, answered by the program's own decision core so
// that the library, the helper and the in-app core always agree. Throw on a request
// that does not decode (DomainCodingError) and on an answer that cannot be written.
std::string evaluateStateJson(std::string_view request);
std::string planActionJson(std::string_view request);
std::string summarizeActionJson(std::string_view request);

} // namespace berthkeep::core
