// The reader thread of a port, and the host-side send, receive and close.
//
// Purpose: each open port has one ReaderThread that does all of the port's
// input and output. SendWithRetry hands it a request and waits for the write;
// ReceiveWithRetry waits until the profile's recogniser has delivered one
// reply frame; ClosePort stops the thread and frees the slot.
//
// The reader never polls blindly: between passes it sleeps in the device's
// Wait until input arrives, the host raises a request or closes the port
// (each rings the device's Wake), bounded by the port's time-out. The fixed
// 20 ms pauses (after a write, a delivery, an error, or input nobody asked
// for) stay as they are.
//
// Thread rules: any host thread may call any of these at any time, several
// on one port included (each then gets its own status; which of two racing
// receives gets a frame is not defined). The host and the reader meet only
// through atomics, manual-reset events and short-held mutexes (request copy,
// frame copy, device lifetime); no lock is held across a wait. ClosePort may
// run while another host thread waits in a send or receive on the same port:
// the waiter is woken and returns kSysBadPort, never an older frame as a
// success. Of two concurrent closes of one port exactly one tears it down.
//
// Errors: 0, CODE_COMM_TIMEOUT when a wait passes the port's time-out (a
// write whose output has not drained within it included), kSysBadPort
// (EBADF; ERROR_INVALID_HANDLE on Windows) for a port number outside 0..3 or
// a slot that is not open, kSysInvalidArgument for a negative
// length, or the system error code of a failed write or read. Once the
// reader has seen a read fail (the device vanished), every receive returns
// that code at once, a waiting one within a pass, until the port is closed.
#pragma once

#include <cstdint>

#include "SerialPorts.h"

namespace serialkvl {

// The thread routine; runs until slot.FRunning is cleared.
void ReaderThread(PortSlot& slot, SerialDevice& device);

// How many bytes the next read may append: the room before index 2047, at
// most 255.
int32_t ReadRoom(const ReceiveState& state);
// Adds bytesRead bytes (already stored at the window's end) to the window,
// keeping the window inside the buffer: if the window would reach index
// 2047, fewer than 100 unconsumed bytes move to the front, more are dropped.
void AppendToWindow(ReceiveState& state, int32_t bytesRead);

// Host-side waits: raise the request, wait up to the time-out, lower it.
// WaitWriteDone returns the write's status once the reader has finished
// this request. WaitFrame copies the frame delivered for this receive (at
// most kFrameBufferSize bytes) to frame and its length to length, and leaves
// both untouched otherwise.
int WaitWriteDone(PortSlot& slot);
int WaitFrame(PortSlot& slot, uint8_t* frame, int32_t& length);

// Sends length bytes (at most 255 are kept); up to 3 attempts.
int SendWithRetry(int32_t port, const uint8_t* bytes, int32_t length);
// Waits for one frame; up to 4 waits with the last request re-sent between
// them. On success copies the frame (at most kFrameBufferSize bytes) to frame
// and its length to length; on failure leaves both untouched.
int ReceiveWithRetry(int32_t port, uint8_t* frame, int32_t& length);
// Lowers DTR then RTS, wakes any waiter, stops and joins the reader, closes
// the device. Returns 1 when the port had got as far as its two events (a
// complete open, or one that failed only when starting the reader), 0 after
// an open that failed earlier and for a free slot.
int ClosePort(int32_t port);

}  // namespace serialkvl
