/*
 * libvelqhost: the host's side of the dashboard's data channel, as a plain
 * C library.
 *
 * A host learns the skin's slot layout (the sensors a skin uses, in slot
 * order), creates the shared block sized for it, writes one value per slot
 * each frame and sends the data-ready notification; it may also start the
 * dashboard (SkinVELQ) with the skin's name. The layout follows the one rule
 * the dashboard uses, so host and dashboard cannot disagree on it.
 *
 * The library needs only the C and C++ runtimes: no drawing or window
 * library is loaded with it.
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
#define VELQ_HOST_VERSION_MINOR 2

typedef enum velq_status {
  VELQ_OK = 0,
  VELQ_ERR_ARGUMENT = -1,       /* a null pointer, a slot outside 1..N, a frame of the wrong length */
  VELQ_ERR_UNKNOWN_SENSOR = -2, /* a sensor name the skin does not use */
  VELQ_ERR_SKIN = -3,           /* the skin file cannot be read or is not a skin */
  VELQ_ERR_SYSTEM = -4,         /* the system refused: block, socket, process */
  VELQ_ERR_REMOVED = -5,        /* this channel's block was removed (velq_channel_remove) */
  VELQ_ERR_NOT_DELIVERED = -6,  /* no dashboard listens: the frame is not shown */
  VELQ_ERR_NO_MEMORY = -7,
  VELQ_ERR_RUNNING = -8,        /* the process has not ended (yet) */
  VELQ_ERR_OWNED = -9,          /* a live host already owns the channel's name */
  VELQ_ERR_BUSY = -10,          /* the dashboard is behind: its queue is full, the frame is not shown */
  VELQ_ERR_DETACHED = -11,      /* the channel's name no longer refers to this channel's block */
  VELQ_ERR_NOT_A_SENSOR = -12,  /* the name can never be a sensor (ia1..ia47, in1..in32) */
  VELQ_ERR_NOT_FOUND = -13      /* the work folder, the skin or the program does not exist */
} velq_status;

/* "major.minor" of the library that was loaded. */
VELQ_HOST_API const char* velq_host_version(void);

/* The calling thread's last error text, "" when its last call succeeded. */
VELQ_HOST_API const char* velq_last_error(void);

/* A fixed English sentence for a status ("Unknown status" for a value that
 * is not one); never NULL, valid for the life of the process. */
VELQ_HOST_API const char* velq_status_string(int status);

/* ---- the layout ---------------------------------------------------------------- */

/* The sensors of one skin in slot order: position p (1..count) names the
 * sensor ("ia4", "in7") whose value goes into slot p of the block.
 *
 * The layout is read from the skin's objects (their AnalogSensor and
 * DigitalSensor values) by the rule the dashboard itself uses: each sensor
 * once, analog sensors first, each kind by number. Only what the layout
 * needs is checked: a skin whose pictures are missing still has a layout,
 * and the dashboard reports such faults itself. */
typedef struct velq_layout velq_layout;

/* Reads work_dir/Skin/<skin>/skin.bin, or skin.cfg (the text form) when
 * there is no skin.bin. work_dir NULL means the current directory.
 * VELQ_ERR_NOT_FOUND when the work folder or the skin's folder or file does
 * not exist; VELQ_ERR_SKIN when the file is not a readable skin. */
VELQ_HOST_API velq_status velq_layout_load(const char* work_dir, const char* skin, velq_layout** out);
/* Reads one skin file: text form when the name ends in ".cfg", else binary. */
VELQ_HOST_API velq_status velq_layout_load_file(const char* path, velq_layout** out);
VELQ_HOST_API void velq_layout_free(velq_layout* layout);

/* N, the number of sensor slots (0 for a NULL layout). */
VELQ_HOST_API int32_t velq_layout_count(const velq_layout* layout);
/* The sensor at 1-based position, or NULL outside 1..N. The text lives as
 * long as the layout. */
VELQ_HOST_API const char* velq_layout_sensor(const velq_layout* layout, int32_t position);
/* The 1-based position of a sensor name (exact, case-sensitive).
 * VELQ_ERR_NOT_A_SENSOR for a name that is no sensor at all ("ia48", "x");
 * VELQ_ERR_UNKNOWN_SENSOR for a sensor the skin does not use. */
VELQ_HOST_API velq_status velq_layout_position(const velq_layout* layout, const char* sensor, int32_t* position);

/* ---- the channel --------------------------------------------------------------- */

/* One channel owns the block's name from its creation to its removal.
 *
 * Values: a slot holds any 32-bit float, written as given. NaN and the
 * infinities are passed through unchanged; the dashboard's widgets handle
 * them (a NaN reads as 0 where a widget needs a whole number). */
typedef struct velq_channel velq_channel;

/* How velq_channel_notify hands the data-ready message to the dashboard on
 * Windows: posted to its window (found by the class name "TSkinForm"),
 * sent to it (the call returns once the dashboard has handled it, or after
 * the notify time-out), or posted to every top-level window. The dashboard
 * handles all three alike. On Linux all three are the same datagram. */
typedef enum velq_delivery {
  VELQ_DELIVER_POST = 0,
  VELQ_DELIVER_SEND = 1,
  VELQ_DELIVER_BROADCAST = 2
} velq_delivery;

/* Options of velq_channel_create_with_options. Fill with
 * velq_channel_options_init, then change what differs. */
typedef struct velq_channel_options {
  uint32_t size;             /* sizeof(velq_channel_options), set by _init */
  velq_delivery delivery;    /* default VELQ_DELIVER_POST */
  int32_t notify_timeout_ms; /* how long notify may wait while the dashboard's
                                queue is full; default 0: never waits */
} velq_channel_options;

VELQ_HOST_API void velq_channel_options_init(velq_channel_options* options);

/* Creates the shared block of 4*(N+1) zero bytes for the layout (which the
 * channel copies; the layout may be freed afterwards) and owns its name.
 *
 * Ownership is exclusive: while another live host (any process) holds a
 * channel of the same name, creation fails with VELQ_ERR_OWNED and changes
 * nothing. A block left behind by a host that ended without removing it
 * (it crashed, or was killed) is taken over: a dashboard started from now on
 * opens the new block, and one still mapping the old block keeps it intact.
 * On Windows a block still mapped elsewhere (a dashboard) cannot be
 * replaced: it is shared and its slots are zeroed, and VELQ_ERR_SYSTEM says
 * when it is too small for the layout. */
VELQ_HOST_API velq_status velq_channel_create(const velq_layout* layout, velq_channel** out);
/* The same, with notifications delivered as `delivery` says;
 * VELQ_ERR_ARGUMENT for a value that is not a velq_delivery. (1.1) */
VELQ_HOST_API velq_status velq_channel_create_with_delivery(const velq_layout* layout, velq_delivery delivery,
                                                            velq_channel** out);
/* The same, with options (NULL: the defaults). (1.2) */
VELQ_HOST_API velq_status velq_channel_create_with_options(const velq_layout* layout,
                                                           const velq_channel_options* options,
                                                           velq_channel** out);

VELQ_HOST_API int32_t velq_channel_count(const velq_channel* channel);

/* Writes slot `position` (1..N) with one 32-bit store. */
VELQ_HOST_API velq_status velq_channel_set(velq_channel* channel, int32_t position, float value);
/* Writes the slot of the sensor named `sensor` (statuses as
 * velq_layout_position). */
VELQ_HOST_API velq_status velq_channel_set_named(velq_channel* channel, const char* sensor, float value);
/* Writes slots 1..N from values[0..N-1]; `count` must be N. */
VELQ_HOST_API velq_status velq_channel_set_frame(velq_channel* channel, const float* values, size_t count);

/* Sends one data-ready notification. Its payload is the host's
 * CLOCK_MONOTONIC send time in nanoseconds (8 bytes, native byte order).
 * It never blocks unless a notify time-out was given:
 * - VELQ_ERR_NOT_DELIVERED: no dashboard listens;
 * - VELQ_ERR_BUSY: the dashboard's queue is full (it is behind, or
 *   stopped); the frame is not shown, the next notify may be;
 * - VELQ_ERR_DETACHED: the channel's name now refers to another block (a
 *   host took a crashed-looking name over) or to none (someone removed
 *   it), so a dashboard started now would not see this channel's values.
 *   The name is checked at most once a second, so this is reported within
 *   a second of the change, and on every notify after it. The channel
 *   stays usable for a dashboard that already maps its block. */
VELQ_HOST_API velq_status velq_channel_notify(velq_channel* channel);
/* How long later notifies may wait while the dashboard's queue is full:
 * 0 never waits (the default), at most 10000 ms. (1.2) */
VELQ_HOST_API velq_status velq_channel_set_notify_timeout(velq_channel* channel, int32_t timeout_ms);

/* Unmaps the block and gives up its name (removes it, unless another host
 * has taken it over meanwhile). Repeating it is harmless; afterwards
 * writes and notifies return VELQ_ERR_REMOVED. */
VELQ_HOST_API velq_status velq_channel_remove(velq_channel* channel);
/* Removes (as above) and frees. NULL is harmless. */
VELQ_HOST_API void velq_channel_free(velq_channel* channel);

/* ---- launching the dashboard --------------------------------------------------- */

typedef struct velq_process velq_process;

/* Starts `program` (NULL: "SkinVELQ" looked up in PATH) with the one
 * argument `skin`, in the working folder `work_dir` (NULL: the current
 * one), which must hold Skin/<skin>/: VELQ_ERR_NOT_FOUND (naming the
 * folder) when it does not, or when the program cannot be found. A program
 * path with a '/' is taken relative to the caller's current directory. The
 * environment is inherited. On Windows a '\' counts as a '/', a bare name
 * is searched for as CreateProcess does (".exe" added), and the skin name
 * is passed quoted. */
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
/* Ends the process for sure: asks it to end, waits up to timeout_ms
 * (negative: the default, 2000 ms), then kills it (SIGKILL;
 * TerminateProcess on Windows) and reaps it. *exit_status (may be NULL) as
 * velq_process_wait. Harmless once it has ended. (1.2) */
VELQ_HOST_API velq_status velq_process_stop(velq_process* process, int32_t timeout_ms, int32_t* exit_status);
/* The process id, or -1. */
VELQ_HOST_API int32_t velq_process_id(const velq_process* process);
/* Frees the handle. A process still running is stopped as
 * velq_process_stop with the default time-out: nothing is left behind and
 * the call never waits longer than about 2 s. NULL is harmless. */
VELQ_HOST_API void velq_process_free(velq_process* process);

#ifdef __cplusplus
}
#endif

#endif /* VELQ_HOST_H */
