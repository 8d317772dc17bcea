package com.velq.dashboard;

/**
 * The one error of {@link HostChannel}: the library's message and its
 * status code (one of the constants below).
 */
public class HostException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    /** A null argument, a slot outside 1..N, a frame of the wrong length. */
    public static final int ARGUMENT = -1;
    /** A sensor name that the skin does not use. */
    public static final int UNKNOWN_SENSOR = -2;
    /** The skin file is missing or cannot be read. */
    public static final int SKIN = -3;
    /** The system refused (shared block, socket, process). */
    public static final int SYSTEM = -4;
    /** The channel has been closed (its block removed). */
    public static final int REMOVED = -5;
    public static final int NO_MEMORY = -7;

    private final int status;

    public HostException(int status, String message) {
        super(message);
        this.status = status;
    }

    public int getStatus() {
        return status;
    }
}
