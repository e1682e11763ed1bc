#pragma once
// The render path's work on a buffer on its way to the loudspeakers, on plain
// memory: the mono mix, the write peak, the reference feed and, while the
// canceller is active, the mono mix written back so that the loudspeakers
// play exactly the reference the canceller uses.
#include <stdint.h>

#include "engine/driver_state.h"

void renderBufferWritten(DriverState& driver, uint8_t* data, uint32_t dataUsed);
