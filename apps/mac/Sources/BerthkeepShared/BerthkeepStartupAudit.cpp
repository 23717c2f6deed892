#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "BerthkeepShared/BerthkeepLogText.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {

namespace {

enum class AuditLevel { debug, error, fault };

std::mutex g_outputsMutex;
std::optional<BerthkeepStartupAudit::Outputs> g_outputs;
VolumesFolder g_volumesFolder = VolumesFolder::live();

BerthkeepStartupAudit::Outputs currentOutputs() {
    std::lock_guard lock(g_outputsMutex);
    if (!g_outputs) {
        g_outputs =
            BerthkeepStartupAudit::Outputs{UnifiedLog::shared(), ProcessLog::shared(),
                                           BerthkeepRuntimeIdentity::currentBundleIdentifier(),
                                           BerthkeepStartupAudit::debugLoggingEnabledForValue(
                                               std::getenv("BERTHKEEP_STARTUP_AUDIT")),
                                           g_volumesFolder};
    }
    return *g_outputs;
}

const char* processLogLabel(AuditLevel level) {
    switch (level) {
    case AuditLevel::fault:
        return "fault";
    case AuditLevel::error:
        return "error";
    case AuditLevel::debug:
        return "debug";
    }
    return "default";
}

UnifiedLogType unifiedType(AuditLevel level) {
    switch (level) {
    case AuditLevel::debug:
        return UnifiedLogType::debug;
    case AuditLevel::error:
        return UnifiedLogType::error;
    case AuditLevel::fault:
        return UnifiedLogType::fault;
    }
    return UnifiedLogType::defaultType;
}

void write(const BerthkeepStartupAudit::Outputs& outputs, AuditLevel level,
           const std::string& component, const std::string& method,
           std::optional<ActivityDetectionMode> mode, BerthkeepAuditWorkPhase phase,
           const std::string& message, const std::optional<std::string>& targetPath,
           const BerthkeepStartupAudit::Metadata& callerMetadata) {
    BerthkeepStartupAudit::Metadata metadata = callerMetadata;
    metadata["component"] = component;
    metadata["method"] = method;
    metadata["mode"] = mode ? toString(*mode) : "n/a";
    metadata["phase"] = toString(phase);
    if (targetPath) {
        metadata["target_path"] = *targetPath;
        metadata["target_path_under_volumes"] =
            outputs.volumesFolder.contains(*targetPath) ? "true" : "false";
    }
    const std::string payload = BerthkeepLogText::withMetadata(message, metadata);

    if (outputs.debugLoggingEnabled && outputs.processLog) {
        outputs.processLog->write(std::string("BerthkeepAudit [") + processLogLabel(level) + "] " +
                                  payload);
    }
    if (outputs.unifiedLog) {
        const UnifiedLogType type = unifiedType(level);
        static const std::string category = "Audit";
        if (outputs.unifiedLog->isEnabled(outputs.subsystem, category, type)) {
            outputs.unifiedLog->write(UnifiedLogEntry{outputs.subsystem, category, type, payload});
        }
    }
}

} // namespace

void BerthkeepStartupAudit::setVolumesFolder(VolumesFolder folder) {
    std::lock_guard lock(g_outputsMutex);
    g_volumesFolder = folder;
    if (g_outputs) {
        g_outputs->volumesFolder = std::move(folder);
    }
}

void BerthkeepStartupAudit::debug(const std::string& component, const std::string& method,
                                  std::optional<ActivityDetectionMode> mode,
                                  BerthkeepAuditWorkPhase phase, const std::string& message,
                                  const std::optional<std::string>& targetPath,
                                  const Metadata& metadata) {
    const Outputs outputs = currentOutputs();
    if (!outputs.debugLoggingEnabled) {
        return;
    }
    write(outputs, AuditLevel::debug, component, method, mode, phase, message, targetPath,
          metadata);
}

void BerthkeepStartupAudit::error(const std::string& component, const std::string& method,
                                  std::optional<ActivityDetectionMode> mode,
                                  BerthkeepAuditWorkPhase phase, const std::string& message,
                                  const std::optional<std::string>& targetPath,
                                  const Metadata& metadata) {
    write(currentOutputs(), AuditLevel::error, component, method, mode, phase, message, targetPath,
          metadata);
}

void BerthkeepStartupAudit::coreOnlyViolation(const std::string& component,
                                              const std::string& method,
                                              BerthkeepAuditWorkPhase phase,
                                              const std::string& message,
                                              const std::optional<std::string>& targetPath,
                                              const Metadata& metadata) {
    write(currentOutputs(), AuditLevel::fault, component, method, ActivityDetectionMode::coreOnly,
          phase, message, targetPath, metadata);
}

bool BerthkeepStartupAudit::debugLoggingEnabledForValue(const char* environmentValue) {
    return environmentValue && std::strcmp(environmentValue, "1") == 0;
}

void BerthkeepStartupAudit::setOutputsForTesting(std::optional<Outputs> outputs) {
    std::lock_guard lock(g_outputsMutex);
    g_outputs = std::move(outputs);
}

} // namespace berthkeep
