#pragma once
// The figures of the summary that compare the output with the microphone:
// the latency and the echo return loss enhancement over the stretches of
// the segment list.
#include <cstdint>
#include <optional>
#include <vector>

#include "pcm_stream.h"
#include "segment_list.h"

// The output may lag the microphone by at most this much, ms.
inline constexpr int32_t kMaxLatencyMs = 300;
// The canceller adapts during the first far-end speech; the settled figure
// leaves out this much far-end-only audio, ms.
inline constexpr int32_t kSettleMs = 1000;

struct NotebookMeasures {
  double latencyMs = 0.0;
  std::optional<double> erleWhole;  // dB
  double farOnlySeconds = 0.0;
  std::optional<double> erleFarOnly;
  std::optional<double> erleFarOnlySettled;  // without the first kSettleMs of far-end-only audio
  std::optional<double> erleDoubleTalk;
};

// `segments` may be empty (then only the latency and the whole-file figure).
NotebookMeasures measureNotebook(const PcmStream& mic, const PcmStream& out, const std::vector<Segment>& segments);
