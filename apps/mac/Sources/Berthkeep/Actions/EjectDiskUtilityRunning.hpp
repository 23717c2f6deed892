#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QCoroTask>

#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// Runs one `diskutil` eject or unmount for the ejector. Call on the main thread.
class EjectDiskUtilityRunning {
public:
    virtual ~EjectDiskUtilityRunning() = default;

    // Ends when the tool has exited with status 0, with what it said (its
    // trimmed standard error, else standard output; "" for nothing); throws
    // DriveOperationError ("BerthkeepStore.Eject") otherwise, with the failure
    // message when the tool gives no reason. Cancelling the token stops the
    // child before it ends.
    virtual QCoro::Task<std::string> run(std::vector<std::string> arguments,
                                         std::string failureMessage,
                                         std::shared_ptr<CancelToken> cancel) = 0;
};

} // namespace berthkeep
