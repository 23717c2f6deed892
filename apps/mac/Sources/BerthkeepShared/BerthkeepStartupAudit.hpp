#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "BerthkeepShared/BerthkeepAuditWorkPhase.hpp"
#include "BerthkeepShared/BerthkeepLogEvent.hpp"
#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

class ProcessLog;
class UnifiedLog;

// Diagnostic trail of which component touched the disks, how and where, written
// to the unified log in category "Audit". Debug lines, and the copy of every line
// in the process log, appear only when BERTHKEEP_STARTUP_AUDIT is exactly "1".
// Callable from any thread.
//
// The line carries the mode's raw value ("core_only", "standard", "enhanced"),
// or "n/a" without one.
class BerthkeepStartupAudit {
public:
    using Metadata = BerthkeepLogMetadata;

    static void debug(const std::string& component, const std::string& method,
                      std::optional<ActivityDetectionMode> mode, BerthkeepAuditWorkPhase phase,
                      const std::string& message, const std::optional<std::string>& targetPath,
                      const Metadata& metadata = {});
    static void error(const std::string& component, const std::string& method,
                      std::optional<ActivityDetectionMode> mode, BerthkeepAuditWorkPhase phase,
                      const std::string& message, const std::optional<std::string>& targetPath,
                      const Metadata& metadata = {});
    // Something touched drive activity while detection is core-only: always
    // written, at fault level, with mode=core_only.
    static void coreOnlyViolation(const std::string& component, const std::string& method,
                                  BerthkeepAuditWorkPhase phase, const std::string& message,
                                  const std::optional<std::string>& targetPath,
                                  const Metadata& metadata = {});

    // True only for the exact value "1".
    static bool debugLoggingEnabledForValue(const char* environmentValue);

    // Where the audit writes. By default made once, on first use, from the
    // environment, the current bundle identifier and the shared logs.
    struct Outputs {
        std::shared_ptr<UnifiedLog> unifiedLog;
        std::shared_ptr<ProcessLog> processLog;
        std::string subsystem;
        bool debugLoggingEnabled = false;
        // Decides each line's "target_path_under_volumes".
        VolumesFolder volumesFolder = VolumesFolder::live();
    };
    // Where the composition root's machine mounts volumes; kept across the
    // outputs being made afresh.
    static void setVolumesFolder(VolumesFolder folder);
    // Tests replace the outputs; nothing goes back to the defaults, made afresh
    // on the next call.
    static void setOutputsForTesting(std::optional<Outputs> outputs);
};

} // namespace berthkeep
