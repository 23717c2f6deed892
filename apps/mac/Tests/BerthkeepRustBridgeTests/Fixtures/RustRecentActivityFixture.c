/* A scriptable stand-in for the core library's activity monitor, for the bridge's
 * failure and payload cases. The test opens the same library first (so both share
 * one copy of the state below), scripts it with fixture_*, and reads back what the
 * bridge sent and how many strings it freed.
 *   FIXTURE_NO_DESTROY  lacks berthkeep_core_activity_monitor_destroy */
#include <stdbool.h>
#include <stdlib.h>
#include <string.h>

typedef struct berthkeep_core_activity_monitor berthkeep_core_activity_monitor;

static int g_monitor;
static bool g_create_fails;
static bool g_update_fails;
static bool g_snapshot_fails;
static char* g_last_error;
static char* g_snapshot_reply;
static char* g_config;
static char* g_volume_set;
static int g_create_calls, g_update_calls, g_snapshot_calls, g_destroy_calls;
static int g_handed_out, g_freed;

static char* duplicate(const char* text) {
    if (text == NULL) {
        return NULL;
    }
    size_t length = strlen(text);
    char* copy = malloc(length + 1);
    memcpy(copy, text, length + 1);
    return copy;
}

static char* hand_out(const char* text) {
    char* copy = duplicate(text);
    if (copy != NULL) {
        g_handed_out += 1;
    }
    return copy;
}

static void replace(char** slot, const char* text) {
    free(*slot);
    *slot = duplicate(text);
}

void fixture_reset(void) {
    g_create_fails = g_update_fails = g_snapshot_fails = false;
    replace(&g_last_error, NULL);
    replace(&g_snapshot_reply, "{\"usage_snapshots_by_drive_id\":{}}");
    replace(&g_config, NULL);
    replace(&g_volume_set, NULL);
    g_create_calls = g_update_calls = g_snapshot_calls = g_destroy_calls = 0;
    g_handed_out = g_freed = 0;
}
/* Each test unloads the library: the texts it keeps go with it. */
__attribute__((destructor)) static void fixture_release(void) {
    replace(&g_last_error, NULL);
    replace(&g_snapshot_reply, NULL);
    replace(&g_config, NULL);
    replace(&g_volume_set, NULL);
}
void fixture_set_create_fails(bool fails) {
    g_create_fails = fails;
}
void fixture_set_update_fails(bool fails) {
    g_update_fails = fails;
}
void fixture_set_snapshot_fails(bool fails) {
    g_snapshot_fails = fails;
}
void fixture_set_last_error(const char* text) {
    replace(&g_last_error, text);
}
void fixture_set_snapshot_reply(const char* text) {
    replace(&g_snapshot_reply, text);
}
const char* fixture_config(void) {
    return g_config;
}
const char* fixture_volume_set(void) {
    return g_volume_set;
}
int fixture_create_calls(void) {
    return g_create_calls;
}
int fixture_update_calls(void) {
    return g_update_calls;
}
int fixture_snapshot_calls(void) {
    return g_snapshot_calls;
}
int fixture_destroy_calls(void) {
    return g_destroy_calls;
}
int fixture_handed_out(void) {
    return g_handed_out;
}
int fixture_freed(void) {
    return g_freed;
}

berthkeep_core_activity_monitor* berthkeep_core_activity_monitor_create(const char* configuration) {
    g_create_calls += 1;
    replace(&g_config, configuration);
    return g_create_fails ? NULL : (berthkeep_core_activity_monitor*)&g_monitor;
}

bool berthkeep_core_activity_monitor_update_json(berthkeep_core_activity_monitor* monitor,
                                                 const char* volume_set) {
    g_update_calls += 1;
    replace(&g_volume_set, volume_set);
    return monitor == (berthkeep_core_activity_monitor*)&g_monitor && !g_update_fails;
}

char* berthkeep_core_activity_monitor_snapshot_json(berthkeep_core_activity_monitor* monitor) {
    g_snapshot_calls += 1;
    if (monitor != (berthkeep_core_activity_monitor*)&g_monitor || g_snapshot_fails) {
        return NULL;
    }
    return hand_out(g_snapshot_reply);
}

#if !defined(FIXTURE_NO_DESTROY)
void berthkeep_core_activity_monitor_destroy(berthkeep_core_activity_monitor* monitor) {
    (void)monitor;
    g_destroy_calls += 1;
}
#endif

char* berthkeep_core_last_error_message(void) {
    return hand_out(g_last_error);
}

void berthkeep_core_free_string(char* text) {
    if (text != NULL) {
        g_freed += 1;
        free(text);
    }
}
