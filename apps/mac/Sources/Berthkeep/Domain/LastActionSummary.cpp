#include "Berthkeep/Domain/LastActionSummary.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

namespace berthkeep {

using Result = LastActionSummary::Result;

Result Result::ejected(std::int64_t count) {
    Result result;
    result.m_kind = Kind::ejected;
    result.m_ejectedCount = count;
    return result;
}

Result Result::partialSuccess(std::int64_t ejected, std::int64_t stillBusy) {
    Result result;
    result.m_kind = Kind::partialSuccess;
    result.m_ejectedCount = ejected;
    result.m_stillBusyCount = stillBusy;
    return result;
}

Result Result::stillBusy(std::int64_t count) {
    Result result;
    result.m_kind = Kind::stillBusy;
    result.m_stillBusyCount = count;
    return result;
}

Result Result::noneFound() {
    return Result();
}

std::optional<std::int64_t> Result::ejectedCount() const {
    if (m_kind == Kind::ejected || m_kind == Kind::partialSuccess) {
        return m_ejectedCount;
    }
    return std::nullopt;
}

std::optional<std::int64_t> Result::stillBusyCount() const {
    if (m_kind == Kind::partialSuccess || m_kind == Kind::stillBusy) {
        return m_stillBusyCount;
    }
    return std::nullopt;
}

std::string LastActionSummary::text() const {
    switch (result.kind()) {
    case Result::Kind::ejected:
        return driveCountText(*result.ejectedCount()) + " ejected";
    case Result::Kind::partialSuccess:
        return driveCountText(*result.ejectedCount()) + " ejected, " +
               driveCountText(*result.stillBusyCount()) + " still busy";
    case Result::Kind::stillBusy:
        return driveCountText(*result.stillBusyCount()) + " still busy";
    case Result::Kind::noneFound:
        return "No managed drives found";
    }
    return {};
}

bool LastActionSummary::hasBusyResult() const {
    return result.kind() == Result::Kind::partialSuccess ||
           result.kind() == Result::Kind::stillBusy;
}

std::string toString(LastActionSummary::Result::Kind kind) {
    switch (kind) {
    case Result::Kind::ejected:
        return "ejected";
    case Result::Kind::partialSuccess:
        return "partialSuccess";
    case Result::Kind::stillBusy:
        return "stillBusy";
    case Result::Kind::noneFound:
        return "noneFound";
    }
    return {};
}

std::optional<LastActionSummary::Result::Kind>
lastActionResultKindFromString(std::string_view text) {
    if (text == "ejected") {
        return Result::Kind::ejected;
    }
    if (text == "partialSuccess") {
        return Result::Kind::partialSuccess;
    }
    if (text == "stillBusy") {
        return Result::Kind::stillBusy;
    }
    if (text == "noneFound") {
        return Result::Kind::noneFound;
    }
    return std::nullopt;
}

} // namespace berthkeep
