#include "Berthkeep/Domain/PrimaryAction.hpp"

namespace berthkeep {

std::string toString(PrimaryAction::Kind kind) {
    switch (kind) {
    case PrimaryAction::Kind::ejectAndSleep:
        return "ejectAndSleep";
    case PrimaryAction::Kind::retryEject:
        return "retryEject";
    }
    return {};
}

std::optional<PrimaryAction::Kind> PrimaryAction::kindFromString(std::string_view text) {
    if (text == "ejectAndSleep") {
        return Kind::ejectAndSleep;
    }
    if (text == "retryEject") {
        return Kind::retryEject;
    }
    return std::nullopt;
}

std::string PrimaryAction::defaultTitle(Kind kind) {
    switch (kind) {
    case Kind::ejectAndSleep:
        return "Eject Drives & Sleep";
    case Kind::retryEject:
        return "Retry Eject";
    }
    return {};
}

std::string PrimaryAction::id() const {
    return toString(kind);
}

PrimaryAction PrimaryAction::ejectAndSleep() {
    return PrimaryAction{Kind::ejectAndSleep, defaultTitle(Kind::ejectAndSleep), true};
}

PrimaryAction PrimaryAction::disabledEjectAndSleep() {
    return PrimaryAction{Kind::ejectAndSleep, defaultTitle(Kind::ejectAndSleep), false};
}

PrimaryAction PrimaryAction::retryEject() {
    return PrimaryAction{Kind::retryEject, defaultTitle(Kind::retryEject), true};
}

} // namespace berthkeep
