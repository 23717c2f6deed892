/* A stand-in core library for the failure cases of the library transport. One
 * source, built once per mode:
 *   FIXTURE_MISSING_LAST_ERROR  lacks berthkeep_core_last_error_message
 *   FIXTURE_NULL_WITH_ERROR     every decision fails; the last error says why
 *   FIXTURE_NULL_WITHOUT_ERROR  every decision fails; no last error
 *   FIXTURE_INVALID_JSON        every decision answers text that is not JSON
 * fixture_* functions let the tests check the string ownership rules. */
#include <stdlib.h>
#include <string.h>

static int g_freed = 0;
static int g_handed_out = 0;
static char g_last_request[256];

__attribute__((unused)) static char* copy_text(const char* text) {
    size_t length = strlen(text);
    char* copy = malloc(length + 1);
    if (copy != NULL) {
        memcpy(copy, text, length + 1);
        g_handed_out += 1;
    }
    return copy;
}

static char* answer(const char* request) {
    strncpy(g_last_request, request != NULL ? request : "", sizeof g_last_request - 1);
    g_last_request[sizeof g_last_request - 1] = '\0';
#if defined(FIXTURE_INVALID_JSON)
    return copy_text("this is not json");
#else
    return NULL;
#endif
}

char* berthkeep_core_evaluate_state_json(const char* request) {
    return answer(request);
}
char* berthkeep_core_plan_action_json(const char* request) {
    return answer(request);
}
char* berthkeep_core_summarize_action_json(const char* request) {
    return answer(request);
}

#if !defined(FIXTURE_MISSING_LAST_ERROR)
char* berthkeep_core_last_error_message(void) {
#if defined(FIXTURE_NULL_WITH_ERROR)
    return copy_text("fixture \"core\" failed");
#else
    return NULL;
#endif
}
#endif

void berthkeep_core_free_string(char* text) {
    if (text != NULL) {
        g_freed += 1;
        free(text);
    }
}

int fixture_freed_count(void) {
    return g_freed;
}
int fixture_handed_out_count(void) {
    return g_handed_out;
}
const char* fixture_last_request(void) {
    return g_last_request;
}
