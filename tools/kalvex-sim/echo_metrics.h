#pragma once
// Measurements of a processed recording against the microphone signal it
// came from, on the 16-bit scale.
#include <cstdint>
#include <optional>
#include <vector>

#include "pcm_stream.h"
#include "segment_list.h"

// Sum of squares over all channels of the frames in `range` shifted by
// `shift` frames, clipped to the signal.
double energy(const Signal& signal, FrameRange range, int64_t shift);

// Echo return loss enhancement over the ranges, dB:
//   ERLE = 10 log10(sum mic^2 / sum out^2)
// with the output read `latency` frames later than the microphone (the
// processing delays it). Both sums get the power of one quantisation step of
// the 16-bit scale (1/12 per sample), so a silent output gives a large
// finite figure rather than infinity. None when the ranges hold no frames or
// the microphone is silent there.
std::optional<double> erleDb(const Signal& mic, const Signal& out, const std::vector<FrameRange>& ranges,
                             int64_t latency);

// How many frames the output lags the microphone: the lag, 0 .. maxLag frames,
// at which the energy envelopes (blocks of about 1 ms) correlate best. Both
// the passed near-end speech and the residual echo follow the microphone
// with this lag.
int64_t estimateLatency(const Signal& mic, const Signal& out, int64_t maxLag);

// Level in dB relative to full scale (32768), over all channels, per window
// of `windowFrames` frames; windows below kFloorDb read kFloorDb.
inline constexpr double kFloorDb = -100.0;
std::vector<double> levelsDb(const Signal& signal, int64_t windowFrames);
