#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "Berthkeep/Actions/EjectDiskUtilityRunning.hpp"
#include "BerthkeepShared/Detached.hpp"

namespace berthkeep {

// The eject runner over the real tool (or the stand-in the composition root
// names). The child runs on the executor's worker; the caller's time-out stops it
// through the token, and the deadline bounds it when nobody does.
class LiveEjectDiskUtilityRunner final : public EjectDiskUtilityRunning {
public:
    static constexpr const char* defaultExecutablePath = "/usr/sbin/diskutil";
    static constexpr std::chrono::milliseconds defaultDeadline{60000};

    explicit LiveEjectDiskUtilityRunner(std::string executablePath = defaultExecutablePath,
                                        std::chrono::milliseconds deadline = defaultDeadline,
                                        std::shared_ptr<Executor> executor = {});

    QCoro::Task<std::string> run(std::vector<std::string> arguments, std::string failureMessage,
                                 std::shared_ptr<CancelToken> cancel) override;

private:
    std::string m_executablePath;
    std::chrono::milliseconds m_deadline;
    std::shared_ptr<Executor> m_executor;
};

} // namespace berthkeep
