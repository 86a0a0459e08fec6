// The waits and the port reads and writes underneath every transfer.
#pragma once

#include <cstdint>

#include "linklib/comm_port.h"

namespace zep {

// Dispatches the caller's queued messages; 0 when a quit request is pending
// (it stays pending for the caller's own loop), else 1.
int PumpMessages();
// One wait step: 1 when the wait must stop (cancelled: status -1; or the slot expired).
int CheckAbort(int slot);
// Unread bytes in the receive buffer, fetching from the port when it is empty;
// never more than the buffer holds (the rest stays queued). -1 on a read error
// or a vanished device.
int32_t ReadAvailable(CCommPort& port);
uint8_t NextByte();
// 1 when the device took all the bytes; 0 on failure or when the slot expired.
int WriteBytes(CCommPort& port, const uint8_t* bytes, uint32_t count, int slot);
// 1 once the driver's output queue is empty; 0 when CheckAbort stopped the wait.
int WaitOutputEmpty(CCommPort& port, int slot);
// 1 when the driver's input queue holds no byte.
int InputQueueEmpty(CCommPort& port);
// Blocks until input arrives, the next wait step is due or the slot's deadline.
void WaitForInput(CCommPort& port, int slot);
// The next byte from the line, waiting for it under the slot's deadline; false
// when the wait was stopped (cancel, expiry) or the line failed.
bool TakeByte(CCommPort& port, int slot, uint8_t* byte);

}  // namespace zep
