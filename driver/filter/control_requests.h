#pragma once
// The six control codes of the control device on plain memory: each moves one
// whole record in or out of the request's system buffer.
#include <stdint.h>

#include "engine/driver_state.h"
#include "kernel/status.h"

struct ControlRequestResult {
  kernel::Status status;
  uint32_t bytesReturned;
};

// Handles one control request synchronously. `buffer` is the request's
// system buffer (input and output share it). A length other than the record's
// exact size, a missing buffer or an unknown code completes with success and
// 0 bytes and changes nothing: the application never examines the count.
ControlRequestResult handleControlRequest(DriverState& driver, uint32_t code, void* buffer,
                                          uint32_t inputLength, uint32_t outputLength);
