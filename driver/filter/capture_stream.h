#pragma once
// The capture path's work on a filled read buffer, on plain memory: the frame
// check, 32-bit packing, the read peak, the channel swap and the engine call.
#include <stdint.h>

#include "engine/driver_state.h"

// Called for a read the lower driver completed with success. `data` holds
// `dataUsed` bytes of interleaved frames in the capture format of the status
// record; the requester receives them processed, in the same layout.
// A user-mode requester's buffer is not touched (flag 0x40000 reports it).
void captureBufferFilled(DriverState& driver, uint8_t* data, uint32_t dataUsed, bool kernelModeRequester);
