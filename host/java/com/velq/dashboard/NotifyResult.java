package com.velq.dashboard;

/**
 * What became of one {@link HostChannel#notifyDashboard()}. None of these is
 * an error of the host: each is a moment of an ordinary run, and the next
 * frame simply notifies again.
 */
public enum NotifyResult {
    /** A dashboard received the notification and will show the frame. */
    DELIVERED,
    /** No dashboard listens (none started yet, or it has ended): the frame is not shown. */
    NO_DASHBOARD,
    /**
     * The dashboard is behind (or stopped) and its queue is full: this frame
     * is not shown, a later one may be. Returned at once, or after the
     * channel's notify time-out when one is set.
     */
    BUSY,
    /**
     * The channel's name no longer refers to this channel's block: someone
     * removed it, or another host took the name over. A dashboard that
     * already maps the block still sees the values; one started now would
     * not. Reported within about a second of the change, and on every
     * notify after it.
     */
    DETACHED
}
