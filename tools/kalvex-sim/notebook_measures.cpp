#include "notebook_measures.h"

#include "echo_metrics.h"

NotebookMeasures measureNotebook(const PcmStream& mic, const PcmStream& out, const std::vector<Segment>& segments) {
  NotebookMeasures m;
  Signal micSignal = toSignal(mic);
  Signal outSignal = toSignal(out);
  int32_t rate = mic.format.rate;
  int64_t frames = micSignal.frames();
  int64_t latency = estimateLatency(micSignal, outSignal, int64_t{rate} * kMaxLatencyMs / 1000);
  m.latencyMs = 1000.0 * static_cast<double>(latency) / rate;
  m.erleWhole = erleDb(micSignal, outSignal, {{0, frames}}, latency);
  if (segments.empty()) return m;
  std::vector<FrameRange> farOnly = framesOfKind(segments, SegmentKind::FarOnly, rate, frames);
  for (const FrameRange& r : farOnly) m.farOnlySeconds += static_cast<double>(r.end - r.begin) / rate;
  m.erleFarOnly = erleDb(micSignal, outSignal, farOnly, latency);
  m.erleFarOnlySettled =
      erleDb(micSignal, outSignal, afterFirstFrames(farOnly, int64_t{rate} * kSettleMs / 1000), latency);
  m.erleDoubleTalk =
      erleDb(micSignal, outSignal, framesOfKind(segments, SegmentKind::DoubleTalk, rate, frames), latency);
  return m;
}
