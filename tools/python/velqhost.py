"""velqhost: a small ctypes wrapper over libvelqhost, for hosts written in
Python (hobbyist hosts, scripts, tests). No compiled extension is needed;
`pip install tools/python` installs it (see pyproject.toml there), or a
host puts velqhost.py on its PYTHONPATH.

The library (interface version 1.2 or a newer 1.x) is the first of:

    1. VELQHOST_LIBRARY, when set: a path (or a name for the system's
       loader). An explicit choice wins, even over a bundled copy;
    2. libvelqhost.so.1 in this module's own folder, for a host shipped
       with its own copy of the library;
    3. "libvelqhost.so.1" through the system's loader (LD_LIBRARY_PATH, the
       ld.so cache: where the libvelqhost1 package puts it).

velqhost.library is the path (or, in case 3, the name) that was loaded. A
library that is chosen but cannot be loaded fails the import with an
ImportError; the search never falls through to the next choice.

    import velqhost
    with velqhost.Channel("demo", work_dir="build") as channel:
        print(channel.sensors)                  # slot order: ['ia1', 'ia2', ...]
        channel.launch("build/dashboard/SkinVELQ")
        channel["ia1"] = 3500.0                 # by name
        channel[2] = 88.0                       # by 1-based slot
        if channel.notify() is velqhost.NotifyResult.DETACHED:
            ...                                 # see NotifyResult

Errors. Every failing library call raises a HostError (.status is the
library's Status, .detail its text for this failure). Where Python has a
customary exception for the mistake, the error is that one as well:

    ArgumentError (ValueError)        a bad argument (a time-out out of range)
    SensorError (KeyError)            a name the skin does not use, or no sensor at all
    SlotError (IndexError)            a slot outside 1..len(channel)
    NotFoundError (FileNotFoundError) no such work folder, skin or program
    ClosedError (ValueError)          the Channel has been closed
    SkinError                         the skin file is not a readable skin
    OwnedError                        another live host owns the channel's name
    DashboardRunningError             launch() while the last dashboard still runs

A value that is not a number raises TypeError, as float() does. The
ordinary outcomes of notify() are results, not errors (see NotifyResult).

Lifetimes. close() (or leaving a with-block) stops the dashboard launched
here and removes the block; it may be repeated. A Channel that is never
closed is cleaned up the same way when it is garbage collected or, at the
latest, when the interpreter exits (a ResourceWarning says so, as for an
unclosed file). Nothing runs when the process is killed by a signal or
leaves through os._exit(): on SIGKILL, or SIGTERM/SIGHUP without a handler,
the block stays in /dev/shm
until the next host of that name takes it over, and a launched dashboard
keeps running. A host that may be ended that way should turn the signal
into an exit, e.g. signal.signal(signal.SIGTERM, lambda *_: sys.exit(143)).
A process forked from the host (multiprocessing) never cleans up its
parent's channels.

Threads: as in the library, one thread at a time uses a Channel; close()
and the clean-up at exit may come from another thread (a daemon thread
still writing then gets ClosedError, never freed memory).
"""

from __future__ import annotations

import contextlib
import ctypes
import enum
import errno
import os
import threading
import warnings
import weakref
from typing import Iterator, Optional, Sequence, Union

# The release this module belongs to, the project's version. pyproject.toml
# reads it from here, and the python_channel test holds it to the version
# CMake knows, so the three cannot drift apart.
__version__ = "1.2.0"

__all__ = [
    "Status", "NotifyResult", "Delivery",
    "HostError", "ArgumentError", "SensorError", "SlotError", "NotFoundError", "ClosedError",
    "SkinError", "OwnedError", "DashboardRunningError",
    "Channel", "layout", "version", "status_string", "library",
]


class Status(enum.IntEnum):
    """The library's velq_status values."""

    OK = 0
    ARGUMENT = -1
    UNKNOWN_SENSOR = -2
    SKIN = -3
    SYSTEM = -4
    REMOVED = -5
    NOT_DELIVERED = -6
    NO_MEMORY = -7
    RUNNING = -8
    OWNED = -9
    BUSY = -10
    DETACHED = -11
    NOT_A_SENSOR = -12
    NOT_FOUND = -13


# The names of the first wrapper, kept for the hosts that use them.
OK = Status.OK
ERR_ARGUMENT = Status.ARGUMENT
ERR_UNKNOWN_SENSOR = Status.UNKNOWN_SENSOR
ERR_SKIN = Status.SKIN
ERR_SYSTEM = Status.SYSTEM
ERR_REMOVED = Status.REMOVED
ERR_NOT_DELIVERED = Status.NOT_DELIVERED
ERR_NO_MEMORY = Status.NO_MEMORY
ERR_RUNNING = Status.RUNNING
ERR_OWNED = Status.OWNED
ERR_BUSY = Status.BUSY
ERR_DETACHED = Status.DETACHED
ERR_NOT_A_SENSOR = Status.NOT_A_SENSOR
ERR_NOT_FOUND = Status.NOT_FOUND


class NotifyResult(enum.Enum):
    """What became of one notify(). Only DELIVERED is true, so that
    `if channel.notify():` keeps meaning "the dashboard got it"; .value is
    the library's status.

    DELIVERED     a dashboard's queue took the notification.
    NO_DASHBOARD  nobody listens; the frame is simply not shown.
    BUSY          the dashboard's queue is full (it is behind, or stopped);
                  this frame is not shown, a later one may be.
    DETACHED      the channel's name no longer refers to this block: it was
                  removed behind the host's back, or another host took the
                  name over. A dashboard that already maps the block still
                  sees the values; one started now would not. Reported
                  within about a second of the change, then on every notify.
    """

    DELIVERED = Status.OK.value
    NO_DASHBOARD = Status.NOT_DELIVERED.value
    BUSY = Status.BUSY.value
    DETACHED = Status.DETACHED.value

    def __bool__(self) -> bool:
        return self is NotifyResult.DELIVERED


class Delivery(enum.IntEnum):
    """How notify() reaches the dashboard on Windows; the same datagram on Linux."""

    POST = 0
    SEND = 1
    BROADCAST = 2


# ---- errors -------------------------------------------------------------------------


class HostError(Exception):
    """A failed library call. .status is the library's Status, .detail the
    library's text for this failure (velq_last_error); str() gives the
    status's sentence and the detail."""

    def __init__(self, status: int, detail: str = "") -> None:
        try:
            self.status: Union[Status, int] = Status(status)
        except ValueError:
            self.status = status
        self.detail = detail
        summary = _status_text(status)
        self.message = f"{summary}: {detail}" if detail and detail != summary else summary
        # One argument, as for a plain Exception: OSError (mixed in below)
        # would read two as errno and strerror, and KeyError would quote the
        # text in str() were __str__ not ours.
        super().__init__(self.message)

    def __str__(self) -> str:
        return self.message


class ArgumentError(HostError, ValueError):
    """An argument the library refuses (VELQ_ERR_ARGUMENT)."""


class SensorError(HostError, KeyError):
    """A sensor name the skin does not use (Status.UNKNOWN_SENSOR), or a name
    that is no sensor at all, such as "ia48" (Status.NOT_A_SENSOR)."""


class SlotError(HostError, IndexError):
    """A slot number outside 1..len(channel) (.status is Status.ARGUMENT)."""


class NotFoundError(HostError, FileNotFoundError):
    """The work folder, the skin or the dashboard program does not exist."""

    def __init__(self, status: int, detail: str = "") -> None:
        super().__init__(status, detail)
        self.errno = errno.ENOENT
        self.strerror = self.message


class ClosedError(HostError, ValueError):
    """The Channel has been closed (Status.REMOVED); as for a closed file."""


class SkinError(HostError):
    """The skin file cannot be read or is not a skin."""


class OwnedError(HostError):
    """Another live host (any process) owns the channel's name. Creating the
    same channel succeeds once that host has closed it or ended."""


class DashboardRunningError(HostError):
    """launch() while the dashboard launched before still runs (Status.RUNNING)."""


# The error class of each status; the statuses not named here raise HostError.
_ERRORS: dict[int, type[HostError]] = {
    Status.ARGUMENT: ArgumentError,
    Status.UNKNOWN_SENSOR: SensorError,
    Status.NOT_A_SENSOR: SensorError,
    Status.NOT_FOUND: NotFoundError,
    Status.REMOVED: ClosedError,
    Status.SKIN: SkinError,
    Status.OWNED: OwnedError,
    Status.RUNNING: DashboardRunningError,
}


# ---- the library --------------------------------------------------------------------

_MIN_VERSION = (1, 2)
_SONAME = "libvelqhost.so.1"


def _library_choice() -> tuple[str, str]:
    """What to load, in the order the module's text gives, and where that
    came from (for the import's error)."""
    chosen = os.environ.get("VELQHOST_LIBRARY")
    if chosen:
        return chosen, "VELQHOST_LIBRARY"
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), _SONAME)
    if os.path.exists(bundled):
        return bundled, "the copy next to velqhost.py"
    return _SONAME, "the system's loader"


def _load() -> tuple[ctypes.CDLL, str]:
    name, source = _library_choice()
    try:
        lib = ctypes.CDLL(name)
    except OSError as e:
        raise ImportError(f"velqhost cannot load {name} ({source}): {e}; install libvelqhost1, "
                          "or set VELQHOST_LIBRARY to the library's path") from e
    # Refuse an older library here, with its version, rather than failing on
    # the first missing entry point somewhere in a host's frame loop.
    lib.velq_host_version.restype = ctypes.c_char_p
    lib.velq_host_version.argtypes = []
    found = lib.velq_host_version().decode()
    try:
        major, minor = (int(number) for number in found.split("."))
    except ValueError:
        raise ImportError(f"{name} reports the unreadable version {found!r}") from None
    if major != _MIN_VERSION[0] or minor < _MIN_VERSION[1]:
        raise ImportError(f"{name} is version {found}; velqhost needs 1.{_MIN_VERSION[1]} or a newer 1.x")
    handle = ctypes.c_void_p
    status = ctypes.c_int
    out = ctypes.POINTER(handle)
    signatures = {
        "velq_last_error": (ctypes.c_char_p, []),
        "velq_status_string": (ctypes.c_char_p, [ctypes.c_int]),
        "velq_layout_load": (status, [ctypes.c_char_p, ctypes.c_char_p, out]),
        "velq_layout_free": (None, [handle]),
        "velq_layout_count": (ctypes.c_int32, [handle]),
        "velq_layout_sensor": (ctypes.c_char_p, [handle, ctypes.c_int32]),
        "velq_layout_position": (status, [handle, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int32)]),
        "velq_channel_options_init": (None, [ctypes.POINTER(_ChannelOptions)]),
        "velq_channel_create_with_options": (status, [handle, ctypes.POINTER(_ChannelOptions), out]),
        "velq_channel_set": (status, [handle, ctypes.c_int32, ctypes.c_float]),
        "velq_channel_set_frame": (status, [handle, ctypes.POINTER(ctypes.c_float), ctypes.c_size_t]),
        "velq_channel_notify": (status, [handle]),
        "velq_channel_set_notify_timeout": (status, [handle, ctypes.c_int32]),
        "velq_channel_free": (None, [handle]),
        "velq_launch": (status, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, out]),
        "velq_process_wait": (status, [handle, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)]),
        "velq_process_stop": (status, [handle, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)]),
        "velq_process_id": (ctypes.c_int32, [handle]),
        "velq_process_free": (None, [handle]),
    }
    for function_name, (result, arguments) in signatures.items():
        function = getattr(lib, function_name)
        function.restype = result
        function.argtypes = arguments
    return lib, name


class _ChannelOptions(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("delivery", ctypes.c_int), ("notify_timeout_ms", ctypes.c_int32)]


_lib, library = _load()

_INT32_MAX = 2**31 - 1


def _text(value: Optional[Union[str, bytes, os.PathLike]]) -> Optional[bytes]:
    return None if value is None else os.fsencode(value)


def _status_text(status: int) -> str:
    return _lib.velq_status_string(status).decode("utf-8", "replace")


def _error(status: int) -> HostError:
    """The exception for a failed call, with the library's text for the
    calling thread's last call."""
    detail = _lib.velq_last_error().decode("utf-8", "replace")
    return _ERRORS.get(status, HostError)(status, detail)


def _check(status: int) -> None:
    if status != Status.OK:
        raise _error(status)


def _int32(value: int, what: str) -> int:
    """value as the C interface's int32_t; ctypes would wrap a larger one."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    if not -(2**31) <= value <= _INT32_MAX:
        raise ArgumentError(Status.ARGUMENT, f"{what} {value} is outside the 32-bit range")
    return value


def version() -> str:
    """The loaded library's interface version, "major.minor"."""
    return _lib.velq_host_version().decode()


def status_string(status: int) -> str:
    """The library's sentence for a status ("Unknown status" for other values)."""
    return _status_text(status)


def _sensors(layout_handle: ctypes.c_void_p) -> list[str]:
    count = _lib.velq_layout_count(layout_handle)
    return [_lib.velq_layout_sensor(layout_handle, p).decode() for p in range(1, count + 1)]


def _load_layout(skin: str, work_dir: Optional[Union[str, os.PathLike]]) -> ctypes.c_void_p:
    handle = ctypes.c_void_p()
    _check(_lib.velq_layout_load(_text(work_dir), _text(skin), ctypes.byref(handle)))
    return handle


def layout(skin: str, work_dir: Optional[Union[str, os.PathLike]] = None) -> list[str]:
    """The sensors of work_dir/Skin/<skin>/ in slot order (index 0 is slot 1)."""
    handle = _load_layout(skin, work_dir)
    try:
        return _sensors(handle)
    finally:
        _lib.velq_layout_free(handle)


# ---- the channel --------------------------------------------------------------------


class _Resources:
    """What one Channel holds in the library: the layout, the channel and the
    launched dashboard. It is kept apart from the Channel so that the
    finalizer can release it without keeping the Channel alive.

    Every library call on these handles runs under `lock`. release() takes
    the same lock, so it never frees a handle another thread is using; when
    it is called from inside such a call on the same thread (a signal
    handler that closes the channel), the release waits until that call has
    returned."""

    def __init__(self) -> None:
        self.lock = threading.RLock()
        self.layout: Optional[ctypes.c_void_p] = None
        self.channel: Optional[ctypes.c_void_p] = None
        self.process: Optional[ctypes.c_void_p] = None
        # A forked child inherits the handles but not the ownership: only the
        # process that created them may remove the block or stop the dashboard.
        self.owner = os.getpid()
        self.closing = False
        self._depth = 0
        self._pending = False

    def __enter__(self) -> "_Resources":
        self.lock.acquire()
        self._depth += 1
        return self

    def __exit__(self, *exc: object) -> None:
        self._depth -= 1
        try:
            if self._depth == 0 and self._pending:
                self._pending = False
                self._release_now()
        finally:
            self.lock.release()

    def stop_process(self, timeout_ms: int = -1) -> Optional[int]:
        """Stops and frees the dashboard (terminate, wait, kill); its exit
        code, or None when none was launched."""
        with self:
            if not self.process:
                return None
            code = ctypes.c_int32(-1)
            process, self.process = self.process, None
            try:
                _lib.velq_process_stop(process, timeout_ms, ctypes.byref(code))
            finally:
                _lib.velq_process_free(process)
            return code.value

    def release(self) -> None:
        # Said before waiting for the lock, so that a thread calling in a
        # loop (a daemon frame loop at exit) stops competing for it.
        self.closing = True
        with self.lock:
            if self._depth > 0:
                self._pending = True
                return
            self._release_now()

    def _release_now(self) -> None:
        if os.getpid() != self.owner:
            self.layout = self.channel = self.process = None
            return
        # The dashboard first, so that it never shows a block going away.
        try:
            self.stop_process()
        finally:
            channel, self.channel = self.channel, None
            layout_handle, self.layout = self.layout, None
            if channel:
                _lib.velq_channel_free(channel)
            if layout_handle:
                _lib.velq_layout_free(layout_handle)


def _collected(resources: _Resources, skin: str) -> None:
    """The finalizer of a Channel that was never closed."""
    if (resources.channel or resources.process) and os.getpid() == resources.owner:
        warnings.warn(f"velqhost.Channel({skin!r}) was not closed; its block and dashboard are released now",
                      ResourceWarning)
    resources.release()


Key = Union[str, int]


class Channel:
    """The shared block for one skin, its notification and, optionally, the
    dashboard started for it.

    Exclusive: while this Channel is open no other host, in any process, can
    create a channel of the same name (OwnedError). close() (or leaving a
    with-block, or the Channel's collection, or the interpreter's exit)
    stops the dashboard launched here and removes the block.

    Values are 32-bit floats: a Python float is rounded to the nearest one.
    NaN and the infinities are passed to the dashboard unchanged; its widgets
    handle them (a NaN reads as 0 where a widget needs a whole number).
    """

    def __init__(self, skin: str, work_dir: Optional[Union[str, os.PathLike]] = None, *,
                 notify_timeout_ms: int = 0, delivery: Delivery = Delivery.POST) -> None:
        """Loads the skin's layout from work_dir/Skin/<skin>/ (None: the
        current folder) and creates the block. notify_timeout_ms: how long
        notify() may wait while the dashboard's queue is full (0..10000;
        0, the default, never waits). delivery: see Delivery."""
        self.skin = skin
        self.work_dir = work_dir
        self._resources = _Resources()
        # Registered before anything is created, so that a failure half-way
        # through still releases what was made. The finalizer also runs at
        # interpreter exit (weakref.finalize's atexit=True), before modules
        # are torn down, so no atexit hook of our own is needed; what no
        # hook can cover (signals, os._exit) is said in the module's text.
        self._finalizer = weakref.finalize(self, _collected, self._resources, skin)
        options = _ChannelOptions()
        _lib.velq_channel_options_init(ctypes.byref(options))
        options.delivery = int(delivery)
        options.notify_timeout_ms = _int32(notify_timeout_ms, "notify_timeout_ms")
        try:
            self._resources.layout = _load_layout(skin, work_dir)
            self.sensors: list[str] = _sensors(self._resources.layout)
            handle = ctypes.c_void_p()
            _check(_lib.velq_channel_create_with_options(self._resources.layout, ctypes.byref(options),
                                                         ctypes.byref(handle)))
            self._resources.channel = handle
        except BaseException:
            self._finalizer.detach()
            self._resources.release()
            raise
        self._notify_timeout_ms = notify_timeout_ms
        # What this Channel has written into each slot (index 0 is slot 1),
        # rounded to 32 bits as the block holds it; the block starts zeroed.
        # Reading it back here needs no access to the block itself, which
        # only this host writes.
        self._values = [0.0] * len(self.sensors)

    # ---- context and lifetime

    def __enter__(self) -> "Channel":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        """Stops the dashboard launched here (terminate, at most about 2 s,
        then kill), then removes the block and gives up the name. Repeating
        it is harmless; afterwards every use raises ClosedError."""
        self._finalizer.detach()
        self._resources.release()

    @property
    def closed(self) -> bool:
        return not self._resources.channel

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"{len(self)} slots"
        return f"<velqhost.Channel {self.skin!r} {state}>"

    # ---- slots

    def __len__(self) -> int:
        """The number of slots, N (also after close)."""
        return len(self.sensors)

    def __iter__(self) -> Iterator[str]:
        """The sensor names in slot order (without this, iterating would
        silently stop at slot 0)."""
        return iter(self.sensors)

    def __contains__(self, key: object) -> bool:
        if isinstance(key, str):
            return key in self.sensors
        return isinstance(key, int) and not isinstance(key, bool) and 1 <= key <= len(self)

    def slot(self, key: Key) -> int:
        """The 1-based slot of a sensor name, or the slot number itself.
        SensorError for a name the skin does not use (or no sensor name at
        all), SlotError for a number outside 1..N, TypeError otherwise."""
        if isinstance(key, bool) or not isinstance(key, (str, int)):
            raise TypeError(f"a slot is a sensor name or a 1-based int, not {type(key).__name__}")
        if isinstance(key, int):
            if not 1 <= key <= len(self):
                raise SlotError(Status.ARGUMENT, f"Slot {key} outside 1..{len(self)}")
            return key
        position = ctypes.c_int32()
        with self._open() as resources:
            _check(_lib.velq_layout_position(resources.layout, _text(key), ctypes.byref(position)))
        return position.value

    def __getitem__(self, key: Key) -> float:
        """The value this host last wrote to the slot (by name or 1-based
        number), as the block holds it (a 32-bit float); 0.0 before the first
        write. Kept on the Python side, not read from the block."""
        position = self.slot(key)
        with self._open():
            return self._values[position - 1]

    def __setitem__(self, key: Key, value: float) -> None:
        """channel["ia4"] = v writes by name; channel[3] = v by 1-based slot.
        v is stored as a 32-bit float; NaN and the infinities (and numbers
        too large for 32 bits, which become infinities) reach the dashboard
        unchanged."""
        number = float(value)  # TypeError for what is not a number, as float() says
        position = self.slot(key)
        with self._open() as resources:
            _check(_lib.velq_channel_set(resources.channel, position, number))
            self._values[position - 1] = ctypes.c_float(number).value

    def set_frame(self, values: Sequence[float]) -> None:
        """Writes slots 1..N from a sequence of exactly N numbers
        (ArgumentError for any other length), each as channel[p] = v does."""
        numbers = [float(v) for v in values]
        frame = (ctypes.c_float * len(numbers))(*numbers)
        with self._open() as resources:
            _check(_lib.velq_channel_set_frame(resources.channel, frame, len(numbers)))
            self._values = list(frame)

    # ---- notification

    def notify(self) -> NotifyResult:
        """Sends one data-ready notification and says what became of it
        (see NotifyResult; only DELIVERED is true). It waits only while the
        dashboard's queue is full, and at most notify_timeout_ms. Raises
        ClosedError after close(), HostError when the system refuses."""
        with self._open() as resources:
            status = _lib.velq_channel_notify(resources.channel)
            try:
                return NotifyResult(status)
            except ValueError:
                raise _error(status) from None

    @property
    def notify_timeout_ms(self) -> int:
        """How long notify() may wait while the dashboard's queue is full,
        0..10000 ms (0: never waits)."""
        return self._notify_timeout_ms

    @notify_timeout_ms.setter
    def notify_timeout_ms(self, timeout_ms: int) -> None:
        with self._open() as resources:
            _check(_lib.velq_channel_set_notify_timeout(resources.channel, _int32(timeout_ms, "notify_timeout_ms")))
        self._notify_timeout_ms = timeout_ms

    # ---- the dashboard

    def launch(self, program: Optional[Union[str, os.PathLike]] = None) -> int:
        """Starts the dashboard (None: SkinVELQ from PATH) with this skin in
        work_dir and returns its process id. It inherits the environment, so
        VELQ_CHANNEL_SUFFIX too. ClosedError after close();
        DashboardRunningError while the dashboard launched before still runs
        (once it has ended, launching again is fine); NotFoundError when the
        program or the skin's folder does not exist."""
        with self._open() as resources:
            if resources.process:
                code = ctypes.c_int32()
                status = _lib.velq_process_wait(resources.process, 0, ctypes.byref(code))
                if status == Status.RUNNING:
                    pid = _lib.velq_process_id(resources.process)
                    raise DashboardRunningError(Status.RUNNING, f"The dashboard launched before (pid {pid}) still runs")
                _check(status)
                resources.stop_process()  # ended: only frees the handle
            handle = ctypes.c_void_p()
            _check(_lib.velq_launch(_text(program), _text(self.skin), _text(self.work_dir), ctypes.byref(handle)))
            resources.process = handle
            return _lib.velq_process_id(handle)

    @property
    def pid(self) -> Optional[int]:
        """The process id of the dashboard launched here while it runs; None
        when none was launched, after it has ended (and been reaped), and
        after close()."""
        with self._resources as resources:
            if not resources.process or self.wait_dashboard(0) is not None:
                return None
            return _lib.velq_process_id(resources.process)

    def wait_dashboard(self, timeout_ms: int = 0) -> Optional[int]:
        """Waits up to timeout_ms (0: just looks; negative: without limit)
        for the launched dashboard to end: its exit code (128 + the signal
        that ended it), or None while it runs. ArgumentError when none was
        launched, ClosedError after close()."""
        with self._open() as resources:
            if not resources.process:
                raise ArgumentError(Status.ARGUMENT, "No dashboard has been launched on this channel")
            code = ctypes.c_int32()
            status = _lib.velq_process_wait(resources.process, _int32(timeout_ms, "timeout_ms"), ctypes.byref(code))
            if status == Status.RUNNING:
                return None
            _check(status)
            return code.value

    def stop_dashboard(self, timeout_ms: int = -1) -> Optional[int]:
        """Ends the launched dashboard for sure: asks it to end, waits up to
        timeout_ms (negative: the library's default, 2000 ms), then kills it.
        Its exit code, or None when none was launched. The channel stays open."""
        return self._resources.stop_process(_int32(timeout_ms, "timeout_ms"))

    # ---- helpers

    @contextlib.contextmanager
    def _open(self) -> Iterator[_Resources]:
        """Holds the resources' lock while the channel is open; ClosedError
        otherwise. The check is made under the lock, so that a close() from
        another thread cannot slip in between."""
        if self._resources.closing:
            raise ClosedError(Status.REMOVED, f"The channel of skin {self.skin!r} is closed")
        with self._resources as resources:
            if not resources.channel:
                raise ClosedError(Status.REMOVED, f"The channel of skin {self.skin!r} is closed")
            yield resources
