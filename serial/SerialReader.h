// The reader thread of a port, and the host-side send, receive and close.
//
// Purpose: each open port has one ReaderThread that does all of the port's
// input and output. SendWithRetry hands it a request and waits for the write;
// ReceiveWithRetry waits until the profile's recogniser has delivered one
// reply frame; ClosePort stops the thread and frees the slot.
//
// Thread rules: one host thread drives a port at a time, with at most one
// send or receive outstanding. The host and the reader meet only through
// atomics, manual-reset events and two short-held mutexes (request copy,
// frame copy). ClosePort may run while another host thread waits in a send or
// receive on the same port: the waiter is woken and returns EBADF.
//
// Errors: 0, CODE_COMM_TIMEOUT when a wait passes the port's time-out, EBADF
// for a port number outside 0..3 or a slot that is not open, EINVAL for a
// negative length, or the system error code of a failed write or read.
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
int WaitWriteDone(PortSlot& slot);
int WaitFrame(PortSlot& slot);

// Sends length bytes (at most 255 are kept); up to 3 attempts.
int SendWithRetry(int32_t port, const uint8_t* bytes, int32_t length);
// Waits for one frame; up to 4 waits with the last request re-sent between
// them. On success copies the frame (at most kFrameBufferSize bytes) to frame
// and its length to length; on failure leaves both untouched.
int ReceiveWithRetry(int32_t port, uint8_t* frame, int32_t& length);
// Lowers DTR then RTS, stops and joins the reader, closes the device.
// Returns 1 when the device closed cleanly, 0 otherwise or for a free slot.
int ClosePort(int32_t port);

}  // namespace serialkvl
