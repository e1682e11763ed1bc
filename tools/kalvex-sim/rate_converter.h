#pragma once
// The system mixer's rate conversion for the far end: when the render pin
// is negotiated to a rate below the far-end stream's, the mixer plays the
// stream at the pin's rate. Only whole divisions occur (the pin is offered
// the capture rate, of which the far-end rate is a whole multiple).
#include <cstdint>

#include "pcm_stream.h"

// `stream` at `rate` = stream rate / k for a whole k >= 1: each channel
// low-passed below 0.45 x `rate` by a windowed-sinc filter, then every k-th
// frame kept. The same channels and sample width; k = 1 returns the stream.
PcmStream decimateStream(const PcmStream& stream, int32_t rate);
