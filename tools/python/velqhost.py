"""velqhost: a small ctypes wrapper over libvelqhost, for hosts written in
Python (hobbyist hosts, scripts, tests). No compiled extension is needed:
the library is found through VELQHOST_LIBRARY (a path), else as
"libvelqhost.so.1" on the system's library path.

    import velqhost
    with velqhost.Channel("demo", work_dir="build") as channel:
        print(channel.sensors)                  # slot order: ['ia1', 'ia2', ...]
        channel.launch("build/dashboard/SkinVELQ")
        channel["ia1"] = 3500.0                 # by name
        channel[2] = 88.0                       # by 1-based slot
        channel.notify()

Errors raise velqhost.HostError (its .status is the library's status).
Thread rules are the library's: one thread at a time per Channel.
"""

import ctypes
import os

OK = 0
ERR_ARGUMENT = -1
ERR_UNKNOWN_SENSOR = -2
ERR_SKIN = -3
ERR_SYSTEM = -4
ERR_REMOVED = -5
ERR_NOT_DELIVERED = -6
ERR_NO_MEMORY = -7
ERR_RUNNING = -8


class HostError(Exception):
    """A failed library call: the library's message and status."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


def _load():
    lib = ctypes.CDLL(os.environ.get("VELQHOST_LIBRARY") or "libvelqhost.so.1")
    handle = ctypes.c_void_p
    status = ctypes.c_int
    signatures = {
        "velq_host_version": (ctypes.c_char_p, []),
        "velq_last_error": (ctypes.c_char_p, []),
        "velq_layout_load": (status, [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(handle)]),
        "velq_layout_load_file": (status, [ctypes.c_char_p, ctypes.POINTER(handle)]),
        "velq_layout_free": (None, [handle]),
        "velq_layout_count": (ctypes.c_int32, [handle]),
        "velq_layout_sensor": (ctypes.c_char_p, [handle, ctypes.c_int32]),
        "velq_channel_create": (status, [handle, ctypes.POINTER(handle)]),
        "velq_channel_set": (status, [handle, ctypes.c_int32, ctypes.c_float]),
        "velq_channel_set_named": (status, [handle, ctypes.c_char_p, ctypes.c_float]),
        "velq_channel_set_frame": (status, [handle, ctypes.POINTER(ctypes.c_float), ctypes.c_size_t]),
        "velq_channel_notify": (status, [handle]),
        "velq_channel_remove": (status, [handle]),
        "velq_channel_free": (None, [handle]),
        "velq_launch": (status, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(handle)]),
        "velq_process_wait": (status, [handle, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)]),
        "velq_process_terminate": (status, [handle]),
        "velq_process_free": (None, [handle]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


_lib = _load()


def _text(value):
    return None if value is None else os.fsencode(value)


def _check(status):
    if status != OK:
        raise HostError(status, _lib.velq_last_error().decode("utf-8", "replace"))


def version():
    return _lib.velq_host_version().decode()


def _sensors(layout):
    return [_lib.velq_layout_sensor(layout, p).decode() for p in range(1, _lib.velq_layout_count(layout) + 1)]


def layout(skin, work_dir=None):
    """The sensors of work_dir/Skin/<skin>/ in slot order (index 0 is slot 1)."""
    handle = ctypes.c_void_p()
    _check(_lib.velq_layout_load(_text(work_dir), _text(skin), ctypes.byref(handle)))
    try:
        return _sensors(handle)
    finally:
        _lib.velq_layout_free(handle)


class Channel:
    """The shared block for one skin, its notification and, optionally, the
    dashboard started for it. close() (or leaving a with-block) removes the
    block and ends a dashboard started here."""

    def __init__(self, skin, work_dir=None):
        self.skin = skin
        self.work_dir = work_dir
        handle = ctypes.c_void_p()
        layout_handle = ctypes.c_void_p()
        _check(_lib.velq_layout_load(_text(work_dir), _text(skin), ctypes.byref(layout_handle)))
        try:
            self.sensors = _sensors(layout_handle)
            _check(_lib.velq_channel_create(layout_handle, ctypes.byref(handle)))
        finally:
            _lib.velq_layout_free(layout_handle)
        self._channel = handle
        self._process = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __setitem__(self, sensor, value):
        """channel["ia4"] = v writes by name; channel[3] = v by 1-based slot."""
        if isinstance(sensor, int):
            _check(_lib.velq_channel_set(self._open(), sensor, float(value)))
        else:
            _check(_lib.velq_channel_set_named(self._open(), _text(sensor), float(value)))

    def set_frame(self, values):
        """Writes slots 1..N from a sequence of N numbers."""
        frame = (ctypes.c_float * len(values))(*values)
        _check(_lib.velq_channel_set_frame(self._open(), frame, len(values)))

    def notify(self):
        """Tells the dashboard a frame is ready; False when none is listening."""
        status = _lib.velq_channel_notify(self._open())
        if status == ERR_NOT_DELIVERED:
            return False
        _check(status)
        return True

    def launch(self, program=None):
        """Starts the dashboard (None: SkinVELQ from PATH) with this skin in work_dir."""
        if self._process:
            raise HostError(ERR_ARGUMENT, "The dashboard has already been launched")
        handle = ctypes.c_void_p()
        _check(_lib.velq_launch(_text(program), _text(self.skin), _text(self.work_dir), ctypes.byref(handle)))
        self._process = handle

    def wait_dashboard(self, timeout_ms=0):
        """The launched dashboard's exit code, or None while it runs."""
        code = ctypes.c_int32()
        status = _lib.velq_process_wait(self._process, timeout_ms, ctypes.byref(code))
        if status == ERR_RUNNING:
            return None
        _check(status)
        return code.value

    def close(self):
        if self._process:
            _lib.velq_process_free(self._process)
            self._process = None
        if self._channel:
            _lib.velq_channel_free(self._channel)
            self._channel = None

    def _open(self):
        if not self._channel:
            raise HostError(ERR_REMOVED, "The channel is closed")
        return self._channel
