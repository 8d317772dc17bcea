package com.velq.tools.comm;

import com.velq.dashboard.NativeLoader;

/**
 * The Java host's serial ports, over the natives of serialKVL: up to four
 * ports open at once, each in a slot 0..3, each with the frame recogniser
 * of its device's protocol (KVLv1, KVLv2, LOG2A0, ZT2). Ports are named the
 * Windows way ("COM3"); on Linux the port map (/etc/serialKVL/ports) leads
 * each name to its device.
 *
 * <p>Every call returns a status: 0 for success, -1 when a Java argument is
 * null, too short or cannot be read, 100301 for a time-out, 100302 when all
 * four slots are in use, otherwise the system's error code
 * ({@link #ExpliciteLastError(int)} gives its text). No call throws.
 *
 * <p>The library is the one on {@code java.library.path}, or else the
 * jar's own copy (see {@link NativeLoader}). The slots belong to the
 * process: every instance of this class shares them.
 */
public class SerialKVL {
    static {
        NativeLoader.load("serialKVL");
    }

    /** Hosts that call the natives through an instance may create one. */
    public SerialKVL() {
    }

    /**
     * Sends a request and returns once it has left the port.
     *
     * @param port the slot the port was opened in
     * @param frame the bytes to send
     * @param length how many bytes of {@code frame} to send
     * @return the status
     */
    public static native int EnvRS(int port, byte[] frame, int length);

    /**
     * Waits, at most the port's time-out, for the next frame the port's
     * recogniser delivers.
     *
     * @param port the slot the port was opened in
     * @param frame receives the frame (as much of it as fits)
     * @param length {@code length[0]} receives the count of bytes copied
     * @return the status
     */
    public static native int RecRS(int port, byte[] frame, int[] length);

    /**
     * Closes a port and frees its slot.
     *
     * @param port the slot the port was opened in
     * @return 1 for a port that was open, 0 for a free slot
     */
    public static native int FermRS(int port);

    /**
     * The name a slot's port was opened with.
     *
     * @param port the slot
     * @return the port's name; empty for a number outside 0..3
     */
    public static native String DonneNomPortRS(int port);

    /**
     * Opens a port for a KVLv1 device.
     *
     * @param baud the line rate, any rate the driver takes
     * @param portName the port's name ("COM3")
     * @param port {@code port[0]} receives the slot
     * @return the status
     */
    public static native int InitRS_KVLv1(int baud, String portName, int[] port);

    /**
     * Opens a port for a KVLv2 device.
     *
     * @param portName the port's name ("COM3")
     * @param port {@code port[0]} receives the slot
     * @return the status
     */
    public static native int InitRS_KVLv2(String portName, int[] port);

    /**
     * Opens a port for a LOG2A0 device.
     *
     * @param portName the port's name ("COM3")
     * @param port {@code port[0]} receives the slot
     * @return the status
     */
    public static native int InitRS_LOG2A0(String portName, int[] port);

    /**
     * Opens a port for a ZT2 device.
     *
     * @param portName the port's name ("COM3")
     * @param port {@code port[0]} receives the slot
     * @return the status
     */
    public static native int InitRS_ZT2(String portName, int[] port);

    /**
     * The ports present (COM1 to COM19), none of them opened to find out.
     *
     * @return one "COMn &lt;description&gt;" entry per port
     */
    public static native String[] EnumPortRS();

    /**
     * The text of a status.
     *
     * @param code a status returned by another call
     * @return its text (the system's for the system's codes)
     */
    public static native String ExpliciteLastError(int code);
}
