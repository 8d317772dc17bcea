package com.velq.dashboard;

/**
 * The one place where libvelqhost's statuses become what the binding
 * promises: a bad argument is the caller's mistake (IllegalArgumentException),
 * a removed block is use after close (IllegalStateException), a failure of
 * the system or environment is the checked {@link HostException}, the
 * library's own lack of memory is an OutOfMemoryError, and the outcomes of
 * a notify are a {@link NotifyResult}. Every status is named here, so a new
 * one cannot slip through as something else unnoticed.
 */
final class Statuses {
    static final int OK = 0;

    private Statuses() {
    }

    /**
     * Returns for OK; otherwise throws what the status means. The text is
     * the library's for the call just made on this thread, so this must run
     * right after the native call, before any other on the same thread.
     */
    static void check(int status) throws HostException {
        if (status == OK) return;
        String text = text(status);
        switch (status) {
            case HostException.ARGUMENT:
            case HostException.UNKNOWN_SENSOR:
            case HostException.NOT_A_SENSOR:
                throw new IllegalArgumentException(text);
            case HostException.REMOVED:
                throw new IllegalStateException(text);
            case HostException.NO_MEMORY:
                throw new OutOfMemoryError(text);
            case HostException.SKIN:
            case HostException.SYSTEM:
            case HostException.OWNED:
            case HostException.NOT_FOUND:
                throw new HostException(status, text);
            case HostException.NOT_DELIVERED:
            case HostException.BUSY:
            case HostException.DETACHED:
            case HostException.RUNNING:
                // Outcomes, not failures: the calls that can meet them turn
                // them into results before they get here. Arriving here means
                // the library answered a call with a status it does not give
                // for it.
            default:
                throw new IllegalStateException("libvelqhost answered with status " + status + " ("
                        + HostChannel.statusString(status) + "): " + text);
        }
    }

    /**
     * As {@link #check}, for the calls whose only failures are the caller's
     * (the per-frame writes and settings): they declare no checked
     * exception, so a system failure, which the library never reports for
     * them, would arrive as an IllegalStateException with its HostException
     * as the cause rather than be lost.
     */
    static void checkUnchecked(int status) {
        try {
            check(status);
        } catch (HostException e) {
            throw new IllegalStateException(e.getMessage(), e);
        }
    }

    /** The result of a notify; throws as {@link #check} for its failures. */
    static NotifyResult notifyResult(int status) throws HostException {
        switch (status) {
            case OK:
                return NotifyResult.DELIVERED;
            case HostException.NOT_DELIVERED:
                return NotifyResult.NO_DASHBOARD;
            case HostException.BUSY:
                return NotifyResult.BUSY;
            case HostException.DETACHED:
                return NotifyResult.DETACHED;
            default:
                check(status);
                throw new AssertionError("check returned for status " + status);
        }
    }

    // The library's words for this failure, or its sentence for the status
    // when it left none.
    private static String text(int status) {
        String text = HostChannel.lastError();
        return text == null || text.isEmpty() ? HostChannel.statusString(status) : text;
    }
}
