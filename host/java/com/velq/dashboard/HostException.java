package com.velq.dashboard;

/**
 * A failure of the system or of the environment that a host can act on: the
 * skin cannot be found or read, the shared block cannot be created, another
 * host owns the channel's name, the dashboard cannot be started.
 *
 * <p>It carries libvelqhost's status ({@link #getStatus()}, one of the
 * constants below) and the library's own text for this failure as its
 * message. Mistakes of the caller are not reported this way: a bad argument
 * throws {@link IllegalArgumentException}, use of a closed channel
 * {@link IllegalStateException}.
 */
public class HostException extends Exception {
    private static final long serialVersionUID = 1L;

    // The library's velq_status values. Only SKIN, SYSTEM, OWNED and
    // NOT_FOUND are thrown as HostException; the others are listed so that a
    // status printed anywhere can be named (statusString).

    /** A null pointer, a slot outside 1..N, a frame of the wrong length (thrown as IllegalArgumentException). */
    public static final int ARGUMENT = -1;
    /** A sensor the skin does not use (thrown as IllegalArgumentException). */
    public static final int UNKNOWN_SENSOR = -2;
    /** The skin file cannot be read or is not a skin. */
    public static final int SKIN = -3;
    /** The system refused: shared block, socket, process. */
    public static final int SYSTEM = -4;
    /** The channel's block has been removed (a closed channel: IllegalStateException). */
    public static final int REMOVED = -5;
    /** No dashboard listens (a {@link NotifyResult}, never thrown). */
    public static final int NOT_DELIVERED = -6;
    /** The library ran out of memory (thrown as OutOfMemoryError). */
    public static final int NO_MEMORY = -7;
    /** The process has not ended yet (an empty result, never thrown). */
    public static final int RUNNING = -8;
    /** A live host, in this process or another, already owns the channel's name. */
    public static final int OWNED = -9;
    /** The dashboard's queue is full (a {@link NotifyResult}, never thrown). */
    public static final int BUSY = -10;
    /** The channel's name no longer refers to its block (a {@link NotifyResult}, never thrown). */
    public static final int DETACHED = -11;
    /** A name that can never be a sensor, such as "ia48" (thrown as IllegalArgumentException). */
    public static final int NOT_A_SENSOR = -12;
    /** The work folder, the skin or the dashboard program does not exist. */
    public static final int NOT_FOUND = -13;

    private final int status;

    public HostException(int status, String message) {
        super(message);
        this.status = status;
    }

    /** The library's status, one of the constants of this class. */
    public int getStatus() {
        return status;
    }

    /**
     * The library's fixed English sentence for a status ("Unknown status"
     * for a value that is not one), as opposed to the message, which says
     * what failed in this instance.
     */
    public static String statusString(int status) {
        return HostChannel.statusString(status);
    }
}
