#pragma once

#include "berthkeep_core.h"

#include "BerthkeepShared/ProcessRunner.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace berthkeep::coretest {

// The built library, opened as the program opens it, with its ten entry points.
class CoreLibrary {
public:
    CoreLibrary() {
        m_handle = dlopen(BERTHKEEP_CORE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char* message = dlerror();
            throw std::runtime_error(message ? message : "dlopen failed");
        }
        resolve(evaluateState, "berthkeep_core_evaluate_state_json");
        resolve(planAction, "berthkeep_core_plan_action_json");
        resolve(summarizeAction, "berthkeep_core_summarize_action_json");
        resolve(monitorCreate, "berthkeep_core_activity_monitor_create");
        resolve(monitorUpdate, "berthkeep_core_activity_monitor_update_json");
        resolve(monitorSnapshot, "berthkeep_core_activity_monitor_snapshot_json");
        resolve(monitorDestroy, "berthkeep_core_activity_monitor_destroy");
        resolve(processTelemetry, "berthkeep_core_process_telemetry_json");
        resolve(lastErrorMessage, "berthkeep_core_last_error_message");
        resolve(freeString, "berthkeep_core_free_string");
    }
    ~CoreLibrary() { dlclose(m_handle); }
    CoreLibrary(const CoreLibrary&) = delete;
    CoreLibrary& operator=(const CoreLibrary&) = delete;

    // Copies a returned string and hands it back at once, as the program does.
    std::optional<std::string> take(char* text) const {
        if (!text) {
            return std::nullopt;
        }
        std::string copy(text);
        freeString(text);
        return copy;
    }

    std::optional<std::string> lastError() const { return take(lastErrorMessage()); }

    decltype(&berthkeep_core_evaluate_state_json) evaluateState = nullptr;
    decltype(&berthkeep_core_plan_action_json) planAction = nullptr;
    decltype(&berthkeep_core_summarize_action_json) summarizeAction = nullptr;
    decltype(&berthkeep_core_activity_monitor_create) monitorCreate = nullptr;
    decltype(&berthkeep_core_activity_monitor_update_json) monitorUpdate = nullptr;
    decltype(&berthkeep_core_activity_monitor_snapshot_json) monitorSnapshot = nullptr;
    decltype(&berthkeep_core_activity_monitor_destroy) monitorDestroy = nullptr;
    decltype(&berthkeep_core_process_telemetry_json) processTelemetry = nullptr;
    decltype(&berthkeep_core_last_error_message) lastErrorMessage = nullptr;
    decltype(&berthkeep_core_free_string) freeString = nullptr;

private:
    template <typename Function> void resolve(Function& into, const char* name) {
        void* address = dlsym(m_handle, name);
        if (!address) {
            throw std::runtime_error(std::string("missing symbol ") + name);
        }
        into = reinterpret_cast<Function>(address);
    }

    void* m_handle = nullptr;
};

inline ProcessResult runHelper(std::vector<std::string> arguments, std::string input,
                               std::map<std::string, std::string> environment = {}) {
    ProcessRequest request;
    request.executablePath = BERTHKEEP_CORE_BRIDGE_PATH;
    request.arguments = std::move(arguments);
    request.standardInput = std::move(input);
    request.environment = std::move(environment);
    request.timeout = std::chrono::seconds(20);
    return runProcess(request);
}

} // namespace berthkeep::coretest
