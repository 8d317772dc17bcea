/*
 * libvelqhost: the host's side of the dashboard's data channel, as a plain
 * C library.
 *
 * A host learns the skin's slot layout (the sensors a skin uses, in slot
 * order), creates the shared block sized for it, writes one value per slot
 * each frame and sends the data-ready notification; it may also start the
 * dashboard (SkinVELQ) with the skin's name. The layout is read by the same
 * code the dashboard uses, so host and dashboard cannot disagree on it.
 *
 * Errors: every call that can fail returns a velq_status. VELQ_OK is 0 and
 * every failure is negative; velq_last_error() then gives the reason as text
 * for the calling thread. Nothing aborts the process and nothing throws
 * across this interface (an out-of-memory condition is a status too).
 *
 * Thread rules:
 * - velq_last_error() is per thread: it describes the last failing call
 *   made by the calling thread, and stays valid until that thread's next
 *   call into the library.
 * - Loading layouts may happen on any thread; the library serialises the
 *   loads itself (reading a skin uses process-wide tables). A loaded layout
 *   never changes and may be read from several threads at once.
 * - A channel, and a process handle, is used by one thread at a time (the
 *   host's frame loop); different channels and processes are independent.
 * - Channel names: the block "/Mem_Map_File-{1F881A4D-B28F-48ad-9175-
 *   5394579326EA}" and the notification (an abstract Unix datagram socket
 *   "UWM_DATA_READY_MSG-{...}"), each followed by the value of the
 *   environment variable VELQ_CHANNEL_SUFFIX when set. A dashboard started
 *   with velq_launch inherits the environment, and so the same names.
 * - On Windows the block is the named file mapping "Mem_Map_File-{...}"
 *   (no leading "/") and the notification is the window message registered
 *   as "UWM_DATA_READY_MSG-{...}", delivered to the dashboard's window
 *   (class "TSkinForm") as velq_delivery says; the same suffix applies.
 */
#ifndef VELQ_HOST_H
#define VELQ_HOST_H

#include <stddef.h>
#include <stdint.h>

#if defined(VELQ_HOST_STATIC)
#define VELQ_HOST_API
#elif defined(_WIN32) && defined(VELQ_HOST_BUILDING)
#define VELQ_HOST_API __declspec(dllexport)
#elif defined(_WIN32)
#define VELQ_HOST_API __declspec(dllimport)
#elif defined(VELQ_HOST_BUILDING)
#define VELQ_HOST_API __attribute__((visibility("default")))
#else
#define VELQ_HOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface version; the library's soname carries the major number. */
#define VELQ_HOST_VERSION_MAJOR 1
#define VELQ_HOST_VERSION_MINOR 1

typedef enum velq_status {
  VELQ_OK = 0,
  VELQ_ERR_ARGUMENT = -1,       /* a null pointer, a slot outside 1..N, a frame of the wrong length */
  VELQ_ERR_UNKNOWN_SENSOR = -2, /* the name is not one of the skin's sensors */
  VELQ_ERR_SKIN = -3,           /* the skin file is missing or cannot be read */
  VELQ_ERR_SYSTEM = -4,         /* the system refused: block, socket, process */
  VELQ_ERR_REMOVED = -5,        /* the channel's block has been removed */
  VELQ_ERR_NOT_DELIVERED = -6,  /* no dashboard took the notification */
  VELQ_ERR_NO_MEMORY = -7,
  VELQ_ERR_RUNNING = -8         /* the process has not ended (yet) */
} velq_status;

/* "major.minor" of the library that was loaded. */
VELQ_HOST_API const char* velq_host_version(void);

/* The calling thread's last error text, "" when its last call succeeded. */
VELQ_HOST_API const char* velq_last_error(void);

/* ---- the layout ---------------------------------------------------------------- */

/* The sensors of one skin in slot order: position p (1..count) names the
 * sensor ("ia4", "in7") whose value goes into slot p of the block. */
typedef struct velq_layout velq_layout;

/* Reads work_dir/Skin/<skin>/skin.bin, or skin.cfg (the text form) when
 * there is no skin.bin. work_dir NULL means the current directory. */
VELQ_HOST_API velq_status velq_layout_load(const char* work_dir, const char* skin, velq_layout** out);
/* Reads one skin file: text form when the name ends in ".cfg", else binary. */
VELQ_HOST_API velq_status velq_layout_load_file(const char* path, velq_layout** out);
VELQ_HOST_API void velq_layout_free(velq_layout* layout);

/* N, the number of sensor slots (0 for a NULL layout). */
VELQ_HOST_API int32_t velq_layout_count(const velq_layout* layout);
/* The sensor at 1-based position, or NULL outside 1..N. The text lives as
 * long as the layout. */
VELQ_HOST_API const char* velq_layout_sensor(const velq_layout* layout, int32_t position);
/* The 1-based position of a sensor name (exact, case-sensitive);
 * VELQ_ERR_UNKNOWN_SENSOR when the skin does not use it. */
VELQ_HOST_API velq_status velq_layout_position(const velq_layout* layout, const char* sensor, int32_t* position);

/* ---- the channel --------------------------------------------------------------- */

typedef struct velq_channel velq_channel;

/* How velq_channel_notify hands the data-ready message to the dashboard on
 * Windows: posted to its window (found by the class name "TSkinForm"),
 * sent to it (the call returns once the dashboard has handled it, or after
 * 100 ms), or posted to every top-level window. The dashboard handles all
 * three alike. On Linux all three are the same datagram. */
typedef enum velq_delivery {
  VELQ_DELIVER_POST = 0,
  VELQ_DELIVER_SEND = 1,
  VELQ_DELIVER_BROADCAST = 2
} velq_delivery;

/* Creates the shared block of 4*(N+1) zero bytes for the layout (which the
 * channel copies; the layout may be freed afterwards). A block of the same
 * name left by an earlier host, or held by another channel, is replaced: a
 * dashboard started from now on opens the new one, and a dashboard (or
 * channel) still mapping the old one keeps it intact. On Windows a block
 * still held elsewhere cannot be replaced: it is shared and its slots are
 * zeroed, and VELQ_ERR_SYSTEM says when it is too small for the layout.
 * Notifications are posted (VELQ_DELIVER_POST). */
VELQ_HOST_API velq_status velq_channel_create(const velq_layout* layout, velq_channel** out);
/* The same, with notifications delivered as `delivery` says;
 * VELQ_ERR_ARGUMENT for a value that is not a velq_delivery. (1.1) */
VELQ_HOST_API velq_status velq_channel_create_with_delivery(const velq_layout* layout, velq_delivery delivery,
                                                            velq_channel** out);

VELQ_HOST_API int32_t velq_channel_count(const velq_channel* channel);

/* Writes slot `position` (1..N) with one 32-bit store. */
VELQ_HOST_API velq_status velq_channel_set(velq_channel* channel, int32_t position, float value);
/* Writes the slot of the sensor named `sensor`. */
VELQ_HOST_API velq_status velq_channel_set_named(velq_channel* channel, const char* sensor, float value);
/* Writes slots 1..N from values[0..N-1]; `count` must be N. */
VELQ_HOST_API velq_status velq_channel_set_frame(velq_channel* channel, const float* values, size_t count);

/* Sends one data-ready notification. Its payload is the host's
 * CLOCK_MONOTONIC send time in nanoseconds (8 bytes, native byte order).
 * VELQ_ERR_NOT_DELIVERED when no dashboard listens (or its queue stayed
 * full for 100 ms); the frame is then simply not shown. */
VELQ_HOST_API velq_status velq_channel_notify(velq_channel* channel);

/* Unmaps the block and removes its name, unless a newer channel has
 * replaced it. Repeating it is harmless; afterwards writes return
 * VELQ_ERR_REMOVED. */
VELQ_HOST_API velq_status velq_channel_remove(velq_channel* channel);
/* Removes (as above) and frees. NULL is harmless. */
VELQ_HOST_API void velq_channel_free(velq_channel* channel);

/* ---- launching the dashboard --------------------------------------------------- */

typedef struct velq_process velq_process;

/* Starts `program` (NULL: "SkinVELQ" looked up in PATH) with the one
 * argument `skin`, in the working folder `work_dir` (NULL: the current
 * one), which must hold Skin/<skin>/. A program path with a '/' is taken
 * relative to the caller's current directory. The environment is
 * inherited. On Windows a '\' counts as a '/', a bare name is searched
 * for as CreateProcess does (".exe" added), and the skin name is passed
 * quoted. */
VELQ_HOST_API velq_status velq_launch(const char* program, const char* skin, const char* work_dir,
                                      velq_process** out);

/* Waits up to timeout_ms (0: just looks; negative: without limit) for the
 * process to end. VELQ_OK with *exit_status = its exit code, or 128 + the
 * signal that ended it; VELQ_ERR_RUNNING when it still runs. */
VELQ_HOST_API velq_status velq_process_wait(velq_process* process, int32_t timeout_ms, int32_t* exit_status);
/* Asks the process to end (SIGTERM); harmless once it has ended. On
 * Windows: WM_CLOSE to each of its top-level windows, or, when it has
 * none, TerminateProcess with exit status 143 (128 + SIGTERM). */
VELQ_HOST_API velq_status velq_process_terminate(velq_process* process);
/* The process id, or -1. */
VELQ_HOST_API int32_t velq_process_id(const velq_process* process);
/* Frees the handle. A process still running is asked to end and waited
 * for, so none is left behind. NULL is harmless. */
VELQ_HOST_API void velq_process_free(velq_process* process);

#ifdef __cplusplus
}
#endif

#endif /* VELQ_HOST_H */
