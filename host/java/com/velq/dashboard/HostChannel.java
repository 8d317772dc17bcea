package com.velq.dashboard;

import java.lang.ref.Cleaner;
import java.lang.ref.Reference;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.TimeUnit;
import java.util.OptionalInt;
import java.util.OptionalLong;

/**
 * The host's side of the dashboard's data channel, over libvelqhost.
 *
 * <p>Creating a channel reads the skin's slot layout (its sensors in slot
 * order, by the dashboard's own code) and creates the shared block for it,
 * owning the channel's name. Each frame, the host writes the values
 * ({@link #set(String, float)}, {@link #set(int, float)} or
 * {@link #setFrame(float[])}) and calls {@link #notifyDashboard()}. The
 * dashboard may be started with {@link #launch(String)}.
 *
 * <p>The library is the one on {@code java.library.path}, or else the
 * jar's own copy (see {@link NativeLoader}).
 *
 * <h2>Errors</h2>
 * <ul>
 * <li>{@link IllegalArgumentException}: the caller's mistake — a null,
 * unknown or impossible sensor name ("ia4" when the skin does not use it,
 * "ia48" which is no sensor at all), a slot outside 1..N, a frame whose
 * length is not N, a skin name that is not one folder name, a notify
 * time-out outside 0..{@value #MAX_NOTIFY_TIMEOUT_MILLIS} ms.</li>
 * <li>{@link IllegalStateException}: use after {@link #close()}; launching
 * while the dashboard launched here still runs; waiting for a dashboard
 * when none was launched.</li>
 * <li>{@link HostException} (checked): the system or the environment failed
 * — the skin or work folder does not exist ({@link HostException#NOT_FOUND}),
 * the skin cannot be read ({@link HostException#SKIN}), another live host
 * owns the channel's name ({@link HostException#OWNED}), the block or the
 * dashboard process cannot be created ({@link HostException#SYSTEM}). Its
 * message is the library's text, its status the library's code.</li>
 * <li>{@link OutOfMemoryError}: the library itself ran out of memory.</li>
 * <li>{@link #notifyDashboard()} does not throw for the ordinary outcomes of
 * a frame: it returns a {@link NotifyResult}.</li>
 * </ul>
 *
 * <h2>Lifetime</h2>
 * {@link #close()} stops the dashboard launched here (asks it to end, waits
 * at most {@value #STOP_MILLIS} ms, then kills it), removes the block and
 * frees the native state; repeating it is harmless. A channel that becomes
 * unreachable without close() is cleaned the same way by a
 * {@link Cleaner}, and channels still open when the JVM shuts down (main
 * returns, System.exit, SIGINT, SIGTERM) are closed by a shutdown hook, so
 * neither a block nor a dashboard outlives the host. Only a JVM that is
 * killed outright leaves the block behind; the next host of the same name
 * takes it over.
 *
 * <h2>Threads</h2>
 * A channel's frame calls are made by one thread at a time (the host's frame
 * loop); different channels are independent. {@link #close()} may be called
 * from any thread at any moment: it waits for a call in progress to finish
 * (a notify may wait up to its notify time-out, a wait for the dashboard is
 * broken into short slices), and the calls made after it throw
 * IllegalStateException.
 */
public final class HostChannel implements AutoCloseable {
    static {
        NativeLoader.load("velqhost");
    }

    /** The longest notify time-out the library accepts, in milliseconds. */
    public static final int MAX_NOTIFY_TIMEOUT_MILLIS = 10000;
    /** How long close() lets a launched dashboard end by itself before killing it. */
    public static final int STOP_MILLIS = 2000;

    // Whatever native state is still alive, for the shutdown hook: the
    // Cleaner does not run when the JVM exits. Holds the handles only, never
    // a HostChannel, so that a dropped channel can still become unreachable.
    private static final Set<Handles> OPEN = ConcurrentHashMap.newKeySet();
    private static final Cleaner CLEANER = Cleaner.create();
    // How long one look at the dashboard holds the channel's lock, so that a
    // close() from another thread is never held up by a long wait.
    private static final int WAIT_SLICE_MILLIS = 100;

    static {
        try {
            Runtime.getRuntime().addShutdownHook(new Thread(HostChannel::closeAllAtExit, "velq-host-exit"));
        } catch (IllegalStateException e) {
            // The class is being loaded while the JVM already shuts down: no
            // hook can be added any more, and the channels made now are the
            // caller's to close.
        }
    }

    /**
     * The native handles of one channel and the action that frees them. It
     * is the Cleaner's action, so it must not refer to the HostChannel (which
     * would then never become unreachable). Every use of a handle holds this
     * object's lock, so the action can never free a handle under a call in
     * progress.
     */
    private static final class Handles implements Runnable {
        private long layout;
        private long channel;
        private long process;
        private boolean closed;

        Handles(long layout) {
            this.layout = layout;
        }

        @Override
        public synchronized void run() {
            if (closed) return;
            closed = true;
            OPEN.remove(this);
            // The dashboard first, while its block still exists: it ends on
            // its own terms rather than meeting a vanished name. Freeing the
            // process stops it (SIGTERM, at most STOP_MILLIS, SIGKILL).
            if (process != 0) freeProcess(process);
            if (channel != 0) freeChannel(channel);
            if (layout != 0) freeLayout(layout);
            process = channel = layout = 0;
        }
    }

    /** One native call under the channel's lock, on an open channel. */
    private interface Call {
        int run(Handles handles);
    }

    private final String workDir;
    private final String skin;
    private final String[] sensors;
    private final Handles handles;
    private final Cleaner.Cleanable cleanable;

    /**
     * Reads the layout of {@code workDir/Skin/<skin>/skin.bin} (or skin.cfg)
     * and creates the shared block for it. {@code workDir} null: the current
     * directory. Notifies never wait (see {@link #setNotifyTimeout(int)}).
     *
     * @throws IllegalArgumentException the skin name is null or not one folder name
     * @throws HostException NOT_FOUND (no such work folder or skin), SKIN
     *         (not a readable skin), OWNED (another live host owns the
     *         channel's name), SYSTEM (the block cannot be created)
     */
    public HostChannel(String workDir, String skin) throws HostException {
        this(workDir, skin, 0);
    }

    /**
     * As {@link #HostChannel(String, String)}, with notifies that wait up to
     * {@code notifyTimeoutMillis} (0..{@value #MAX_NOTIFY_TIMEOUT_MILLIS})
     * while the dashboard's queue is full.
     *
     * @throws IllegalArgumentException the skin name is null or not one
     *         folder name, or the time-out is outside 0..{@value #MAX_NOTIFY_TIMEOUT_MILLIS}
     * @throws HostException as {@link #HostChannel(String, String)}
     */
    public HostChannel(String workDir, String skin, int notifyTimeoutMillis) throws HostException {
        this.workDir = workDir;
        this.skin = skin;
        long[] out = new long[1];
        Statuses.check(loadLayout(workDir, skin, out));
        Handles handles = new Handles(out[0]);
        OPEN.add(handles);
        try {
            sensors = sensors(handles.layout);
            int status = create(handles.layout, notifyTimeoutMillis, out);
            Statuses.check(status);
            synchronized (handles) {
                handles.channel = out[0];
            }
        } catch (Throwable e) {
            handles.run();
            throw e;
        }
        this.handles = handles;
        this.cleanable = CLEANER.register(this, handles);
    }

    /**
     * The sensors of a skin in slot order (index 0 is slot 1), without
     * creating a block.
     *
     * @throws IllegalArgumentException the skin name is null or not one folder name
     * @throws HostException NOT_FOUND or SKIN, as the constructor
     */
    public static String[] layout(String workDir, String skin) throws HostException {
        long[] out = new long[1];
        Statuses.check(loadLayout(workDir, skin, out));
        try {
            return sensors(out[0]);
        } finally {
            freeLayout(out[0]);
        }
    }

    /**
     * The sensors of a skin file (.bin, or the .cfg text form) in slot order.
     *
     * @throws IllegalArgumentException the path is null
     * @throws HostException NOT_FOUND (no such file) or SKIN (not a readable skin)
     */
    public static String[] layoutOfFile(String path) throws HostException {
        long[] out = new long[1];
        Statuses.check(loadLayoutFile(path, out));
        try {
            return sensors(out[0]);
        } finally {
            freeLayout(out[0]);
        }
    }

    /** The loaded library's interface version, "major.minor". */
    public static String libraryVersion() {
        return libraryVersionText();
    }

    /** This channel's sensors in slot order (index 0 is slot 1); also after close. */
    public String[] sensors() {
        return sensors.clone();
    }

    /** N, the number of sensor slots; also after close. */
    public int slotCount() {
        return sensors.length;
    }

    /**
     * The 1-based slot of a sensor ("ia4", "in7").
     *
     * @throws IllegalArgumentException a null name, a sensor the skin does
     *         not use, a name that is no sensor
     */
    public int position(String sensor) {
        int[] out = new int[1];
        Statuses.checkUnchecked(call(h -> position(h.layout, sensor, out)));
        return out[0];
    }

    /**
     * Writes slot {@code position} (1..N).
     *
     * @throws IllegalArgumentException the slot is outside 1..N
     */
    public void set(int position, float value) {
        Statuses.checkUnchecked(call(h -> set(h.channel, position, value)));
    }

    /**
     * Writes the slot of the named sensor.
     *
     * @throws IllegalArgumentException as {@link #position(String)}
     */
    public void set(String sensor, float value) {
        Statuses.checkUnchecked(call(h -> setNamed(h.channel, sensor, value)));
    }

    /**
     * Writes slots 1..N from {@code values[0..N-1]}.
     *
     * @throws IllegalArgumentException the array is null or its length is not N
     */
    public void setFrame(float[] values) {
        Statuses.checkUnchecked(call(h -> setFrame(h.channel, values)));
    }

    /**
     * Tells the dashboard that a frame is in the block. Never blocks unless a
     * notify time-out is set; the outcome is one of {@link NotifyResult}.
     *
     * @throws HostException SYSTEM, when the notification cannot be sent at
     *         all (not for a missing, busy or detached dashboard)
     */
    public NotifyResult notifyDashboard() throws HostException {
        return Statuses.notifyResult(call(h -> notifyFrame(h.channel)));
    }

    /**
     * How long later notifies may wait while the dashboard's queue is full:
     * 0 (the default) never waits, at most {@value #MAX_NOTIFY_TIMEOUT_MILLIS}.
     *
     * @throws IllegalArgumentException outside 0..{@value #MAX_NOTIFY_TIMEOUT_MILLIS}
     */
    public void setNotifyTimeout(int millis) {
        Statuses.checkUnchecked(call(h -> setNotifyTimeout(h.channel, millis)));
    }

    /**
     * Starts the dashboard program (null: SkinVELQ from the PATH) with this
     * channel's skin in its work folder. A channel has one dashboard at a
     * time: once the previous one has ended, launching again starts a new
     * one (and forgets the old one's exit code).
     *
     * @throws IllegalStateException the dashboard launched before still runs
     * @throws HostException NOT_FOUND (no such program, or no
     *         Skin/&lt;skin&gt;/ in the work folder), SYSTEM (the system
     *         refused to start it)
     */
    public void launch(String program) throws HostException {
        long[] out = new long[1];
        Statuses.check(call(h -> {
            if (h.process != 0) {
                if (waitProcess(h.process, 0, new int[1]) == HostException.RUNNING)
                    throw new IllegalStateException("The dashboard launched by this channel still runs (process "
                            + processId(h.process) + ")");
                freeProcess(h.process);
                h.process = 0;
            }
            int status = launch(program, skin, workDir, out);
            if (status == Statuses.OK) h.process = out[0];
            return status;
        }));
    }

    /**
     * The process id of the dashboard launched here (which may have ended
     * since: see {@link #waitDashboard(int)}); empty when none was launched
     * or the channel is closed.
     */
    public OptionalLong dashboardPid() {
        long pid = -1;
        try {
            synchronized (handles) {
                if (!handles.closed && handles.process != 0) pid = processId(handles.process);
            }
        } finally {
            Reference.reachabilityFence(this);
        }
        return pid < 0 ? OptionalLong.empty() : OptionalLong.of(pid);
    }

    /**
     * Waits up to {@code timeoutMillis} (0: just looks, negative: no limit)
     * for the launched dashboard to end: its exit code (128 + the signal
     * when a signal ended it), or empty while it runs.
     *
     * @throws IllegalStateException no dashboard was launched, or the
     *         channel is closed (also when it is closed during the wait)
     */
    public OptionalInt waitDashboard(int timeoutMillis) {
        final long deadline = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(Math.max(timeoutMillis, 0));
        int[] code = new int[1];
        for (;;) {
            long left = TimeUnit.NANOSECONDS.toMillis(deadline - System.nanoTime());
            int slice = timeoutMillis < 0 ? WAIT_SLICE_MILLIS : (int) Math.max(0, Math.min(WAIT_SLICE_MILLIS, left));
            int status = call(h -> waitProcess(launched(h), slice, code));
            if (status == Statuses.OK) return OptionalInt.of(code[0]);
            if (status != HostException.RUNNING) Statuses.checkUnchecked(status);
            if (timeoutMillis >= 0 && System.nanoTime() - deadline >= 0) return OptionalInt.empty();
        }
    }

    /**
     * Asks the launched dashboard to end (SIGTERM) and returns at once;
     * harmless once it has ended or when none was launched.
     */
    public void terminateDashboard() {
        Statuses.checkUnchecked(call(h -> h.process == 0 ? Statuses.OK : terminate(h.process)));
    }

    /**
     * Ends the launched dashboard for sure: asks it to end, waits up to
     * {@code timeoutMillis} (negative: {@value #STOP_MILLIS}), then kills
     * it. Its exit code as {@link #waitDashboard(int)} gives it.
     *
     * @throws IllegalStateException no dashboard was launched, or the channel is closed
     */
    public int stopDashboard(int timeoutMillis) {
        int[] code = new int[1];
        Statuses.checkUnchecked(call(h -> stopProcess(launched(h), timeoutMillis, code)));
        return code[0];
    }

    /** True once {@link #close()} has run (or the channel was cleaned). */
    public boolean isClosed() {
        try {
            synchronized (handles) {
                return handles.closed;
            }
        } finally {
            Reference.reachabilityFence(this);
        }
    }

    /**
     * Stops the dashboard launched here (at most about {@value #STOP_MILLIS}
     * ms, then it is killed), removes the block (unless another host has
     * taken its name over meanwhile) and frees the native state. Repeating it
     * is harmless; it may be called from any thread.
     */
    @Override
    public void close() {
        cleanable.clean();
    }

    // Runs one native call on the open channel under its lock. The fence
    // keeps this object reachable to the end, so the Cleaner cannot free the
    // handles of a channel whose method is still running.
    private int call(Call body) {
        try {
            synchronized (handles) {
                if (handles.closed) throw new IllegalStateException("The channel is closed");
                return body.run(handles);
            }
        } finally {
            Reference.reachabilityFence(this);
        }
    }

    private static long launched(Handles h) {
        if (h.process == 0) throw new IllegalStateException("No dashboard has been launched");
        return h.process;
    }

    private static void closeAllAtExit() {
        for (Handles h : OPEN.toArray(new Handles[0])) h.run();
    }

    // The natives return the library's status; its text is had from
    // lastError() on the same thread right after (Statuses does that).
    static native String lastError();
    static native String statusString(int status);
    private static native String libraryVersionText();
    private static native int loadLayout(String workDir, String skin, long[] out);
    private static native int loadLayoutFile(String path, long[] out);
    private static native void freeLayout(long layout);
    private static native String[] sensors(long layout);
    private static native int position(long layout, String sensor, int[] out);
    private static native int create(long layout, int notifyTimeoutMillis, long[] out);
    private static native int set(long channel, int position, float value);
    private static native int setNamed(long channel, String sensor, float value);
    private static native int setFrame(long channel, float[] values);
    private static native int notifyFrame(long channel);
    private static native int setNotifyTimeout(long channel, int timeoutMillis);
    private static native void freeChannel(long channel);
    private static native int launch(String program, String skin, String workDir, long[] out);
    private static native int processId(long process);
    private static native int waitProcess(long process, int timeoutMillis, int[] exitCode);
    private static native int terminate(long process);
    private static native int stopProcess(long process, int timeoutMillis, int[] exitCode);
    private static native void freeProcess(long process);
}
