// The decision entry points and the shared string and error entry points.

#include "berthkeep_core.h"

#include "CoreCall.hpp"
#include "CoreDecisions.hpp"

#include <cstdlib>

using namespace berthkeep::core;

extern "C" {

char* berthkeep_core_evaluate_state_json(const char* request) {
    return guardedCall<char*>("evaluate-state failed", nullptr, [&] {
        return heapCopy(evaluateStateJson(requireText(request, "request")));
    });
}

char* berthkeep_core_plan_action_json(const char* request) {
    return guardedCall<char*>("plan-action failed", nullptr, [&] {
        return heapCopy(planActionJson(requireText(request, "request")));
    });
}

char* berthkeep_core_summarize_action_json(const char* request) {
    return guardedCall<char*>("summarize-action failed", nullptr, [&] {
        return heapCopy(summarizeActionJson(requireText(request, "request")));
    });
}

// Leaves the message in place: the caller may read it more than once.
char* berthkeep_core_last_error_message(void) {
    return copyLastError();
}

void berthkeep_core_free_string(char* string) {
    std::free(string);
}

} // extern "C"
