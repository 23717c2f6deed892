#include "platform/Activation/ApplicationActivation.hpp"

namespace berthkeep {

std::string toString(ActivationPolicy policy) {
    switch (policy) {
    case ActivationPolicy::regular:
        return "regular";
    case ActivationPolicy::accessory:
        return "accessory";
    }
    return "regular";
}

} // namespace berthkeep
