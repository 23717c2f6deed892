/*
 * berthkeep_core.h - C interface of the Berthkeep core library (libberthkeep_core).
 *
 * Strings
 *   Every string crossing this interface is NUL-terminated UTF-8.
 *   - A `const char*` argument belongs to the caller. The library reads it only during
 *     the call and keeps no pointer to it afterwards.
 *   - A `char*` result is a fresh heap copy owned by the caller from the moment the call
 *     returns. Release it exactly once with berthkeep_core_free_string(); never with
 *     free(), and never use it afterwards. Two results never share memory.
 *
 * Errors
 *   A failed call returns NULL (or false) and records a message for the calling thread.
 *   Every entry point except berthkeep_core_last_error_message() and
 *   berthkeep_core_free_string() clears the calling thread's message on entry, so read
 *   the message right after the failed call, on the same thread. Messages are kept per
 *   thread: a failure on one thread is never seen by another. No exception or signal
 *   from inside the library crosses this interface.
 *
 * Threads
 *   The decision and telemetry entry points keep no state between calls and may be
 *   called from any thread at the same time. A monitor handle must not be used by two
 *   threads at once.
 */
#ifndef BERTHKEEP_CORE_H
#define BERTHKEEP_CORE_H

#include <stdbool.h>

#if defined(BERTHKEEP_CORE_BUILDING)
#define BERTHKEEP_CORE_API __attribute__((visibility("default")))
#else
#define BERTHKEEP_CORE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An activity monitor instance. Opaque: only pointers to it are ever handled. */
typedef struct berthkeep_core_activity_monitor berthkeep_core_activity_monitor;

/*
 * Decisions. Each takes one request JSON object and returns one response JSON object
 * (compact, snake_case keys).
 *   request: borrowed; valid for the duration of the call only; must not be NULL.
 *   returns: a caller-owned string to release with berthkeep_core_free_string(), or
 *            NULL when the request is NULL, not JSON, or not a valid request (the
 *            thread's last error then says why).
 */
BERTHKEEP_CORE_API char* berthkeep_core_evaluate_state_json(const char* request);
BERTHKEEP_CORE_API char* berthkeep_core_plan_action_json(const char* request);
BERTHKEEP_CORE_API char* berthkeep_core_summarize_action_json(const char* request);

/*
 * Activity monitor.
 *
 * create: configuration is borrowed for the call only. Returns a handle owned by the
 *   caller, valid until it is passed to berthkeep_core_activity_monitor_destroy(), or
 *   NULL on failure.
 * update_json: monitor is borrowed (it stays owned by the caller); volume_set is
 *   borrowed for the call only. Returns true when accepted, false on failure.
 * snapshot_json: monitor is borrowed. Returns a caller-owned string to release with
 *   berthkeep_core_free_string(), or NULL on failure.
 * destroy: takes back ownership of the handle and ends the monitor; the handle must
 *   not be used again. NULL is accepted and ignored.
 */
BERTHKEEP_CORE_API berthkeep_core_activity_monitor*
berthkeep_core_activity_monitor_create(const char* configuration);
BERTHKEEP_CORE_API bool berthkeep_core_activity_monitor_update_json(
    berthkeep_core_activity_monitor* monitor, const char* volume_set);
BERTHKEEP_CORE_API char*
berthkeep_core_activity_monitor_snapshot_json(berthkeep_core_activity_monitor* monitor);
BERTHKEEP_CORE_API void
berthkeep_core_activity_monitor_destroy(berthkeep_core_activity_monitor* monitor);

/*
 * Telemetry processing.
 *   request: borrowed for the call only.
 *   returns: a caller-owned response string to release with berthkeep_core_free_string(),
 *            or NULL on failure.
 */
BERTHKEEP_CORE_API char* berthkeep_core_process_telemetry_json(const char* request);

/*
 * The message of the calling thread's most recent failure.
 *   returns: a caller-owned copy to release with berthkeep_core_free_string(), or NULL
 *            when the most recent entry point called on this thread did not fail (or
 *            none was called yet). Reading does not clear the message; each call
 *            returns a new copy.
 */
BERTHKEEP_CORE_API char* berthkeep_core_last_error_message(void);

/*
 * Releases a string returned by this library. Takes back ownership: the pointer must
 * not be used afterwards and must not be released twice. NULL is accepted and ignored.
 */
BERTHKEEP_CORE_API void berthkeep_core_free_string(char* string);

#ifdef __cplusplus
}
#endif

#endif /* BERTHKEEP_CORE_H */
