package com.velq.dashboard;

import java.util.OptionalInt;

/**
 * The host's side of the dashboard's data channel, over libvelqhost.
 *
 * <p>Opening reads the skin's slot layout (its sensors in slot order, by the
 * dashboard's own code) and creates the shared block for it. Each frame, the
 * host writes the values ({@link #set(String, float)}, {@link #set(int, float)}
 * or {@link #setFrame(float[])}) and calls {@link #notifyDashboard()}. The
 * dashboard may be started with {@link #launch(String)}. {@link #close()}
 * removes the block and ends a dashboard started here.
 *
 * <p>Thread rules: an instance is used by one thread at a time; instances are
 * independent. Errors: every failure throws {@link HostException}.
 */
public final class HostChannel implements AutoCloseable {
    static {
        System.loadLibrary("velqhost");
    }

    private final String workDir;
    private final String skin;
    private final String[] sensors;
    private long layout;
    private long channel;
    private long process;

    /**
     * Reads the layout of {@code workDir/Skin/<skin>/skin.bin} (or skin.cfg)
     * and creates the shared block for it. {@code workDir} null: the current
     * directory.
     */
    public HostChannel(String workDir, String skin) {
        this.workDir = workDir;
        this.skin = skin;
        layout = loadLayout(workDir, skin);
        try {
            sensors = sensors(layout);
            channel = create(layout);
        } catch (RuntimeException | Error e) {
            freeLayout(layout);
            layout = 0;
            throw e;
        }
    }

    /** The sensors of a skin in slot order (index 0 is slot 1), without creating a block. */
    public static String[] layout(String workDir, String skin) {
        long handle = loadLayout(workDir, skin);
        try {
            return sensors(handle);
        } finally {
            freeLayout(handle);
        }
    }

    /** The sensors of a skin file (.bin, or .cfg text form) in slot order. */
    public static String[] layoutOfFile(String path) {
        long handle = loadLayoutFile(path);
        try {
            return sensors(handle);
        } finally {
            freeLayout(handle);
        }
    }

    /** This channel's sensors in slot order (index 0 is slot 1). */
    public String[] sensors() {
        return sensors.clone();
    }

    public int slotCount() {
        return sensors.length;
    }

    /** The 1-based slot of a sensor ("ia4", "in7"). */
    public int position(String sensor) {
        return position(open(layout), sensor);
    }

    /** Writes slot {@code position} (1..N). */
    public void set(int position, float value) {
        set(open(channel), position, value);
    }

    /** Writes the slot of the named sensor. */
    public void set(String sensor, float value) {
        setNamed(open(channel), sensor, value);
    }

    /** Writes slots 1..N from {@code values[0..N-1]}; the length must be N. */
    public void setFrame(float[] values) {
        setFrame(open(channel), values);
    }

    /**
     * Tells the dashboard that a frame is in the block. False when no
     * dashboard is listening (not started yet, or ended).
     */
    public boolean notifyDashboard() {
        return notifyFrame(open(channel));
    }

    /**
     * Starts the dashboard program (null: SkinVELQ from the PATH) with this
     * channel's skin in its working folder. One dashboard per channel.
     */
    public void launch(String program) {
        open(channel);
        if (process != 0) throw new HostException(HostException.ARGUMENT, "The dashboard has already been launched");
        process = launch(program, skin, workDir);
    }

    /**
     * Waits up to {@code timeoutMillis} (0: just looks, negative: no limit)
     * for the launched dashboard to end; its exit code, or empty while it
     * runs.
     */
    public OptionalInt waitDashboard(int timeoutMillis) {
        if (process == 0) throw new HostException(HostException.ARGUMENT, "No dashboard has been launched");
        int code = waitProcess(process, timeoutMillis);
        return code == Integer.MIN_VALUE ? OptionalInt.empty() : OptionalInt.of(code);
    }

    /** Asks the launched dashboard to end (harmless once it has ended). */
    public void terminateDashboard() {
        if (process != 0) terminate(process);
    }

    /**
     * Removes the block and frees the channel; a dashboard launched here and
     * still running is asked to end and waited for. Repeating it is harmless.
     */
    @Override
    public void close() {
        if (process != 0) {
            freeProcess(process);
            process = 0;
        }
        if (channel != 0) {
            freeChannel(channel);
            channel = 0;
        }
        if (layout != 0) {
            freeLayout(layout);
            layout = 0;
        }
    }

    private static long open(long handle) {
        if (handle == 0) throw new HostException(HostException.REMOVED, "The channel is closed");
        return handle;
    }

    private static native long loadLayout(String workDir, String skin);
    private static native long loadLayoutFile(String path);
    private static native void freeLayout(long layout);
    private static native String[] sensors(long layout);
    private static native int position(long layout, String sensor);
    private static native long create(long layout);
    private static native void set(long channel, int position, float value);
    private static native void setNamed(long channel, String sensor, float value);
    private static native void setFrame(long channel, float[] values);
    private static native boolean notifyFrame(long channel);
    private static native void freeChannel(long channel);
    private static native long launch(String program, String skin, String workDir);
    private static native int waitProcess(long process, int timeoutMillis);
    private static native void terminate(long process);
    private static native void freeProcess(long process);
}
