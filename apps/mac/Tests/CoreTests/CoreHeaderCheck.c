/* Compiled as strict C99: the public header must not need a C++ compiler. */
#include "berthkeep_core.h"

#include <stddef.h>

int berthkeep_core_header_check_c(void);

/* Only unevaluated uses: the signatures are checked, nothing is linked. */
int berthkeep_core_header_check_c(void) {
    berthkeep_core_activity_monitor* monitor = NULL;
    char* (*decision)(const char*) = NULL;
    void (*release)(char*) = NULL;
    void (*destroy)(berthkeep_core_activity_monitor*) = NULL;
    size_t checked = sizeof(berthkeep_core_evaluate_state_json("")) +
                     sizeof(berthkeep_core_plan_action_json("")) +
                     sizeof(berthkeep_core_summarize_action_json("")) +
                     sizeof(berthkeep_core_process_telemetry_json("")) +
                     sizeof(berthkeep_core_activity_monitor_create("{}")) +
                     sizeof(berthkeep_core_activity_monitor_update_json(monitor, "{}")) +
                     sizeof(berthkeep_core_activity_monitor_snapshot_json(monitor)) +
                     sizeof(berthkeep_core_last_error_message()) +
                     sizeof(decision == &berthkeep_core_evaluate_state_json) +
                     sizeof(release == &berthkeep_core_free_string) +
                     sizeof(destroy == &berthkeep_core_activity_monitor_destroy);
    return checked > 0 && monitor == NULL;
}
