#pragma once
// Which stretches of a scenario hold what, from a small text file:
//
//   # start  end   kind        (seconds; kind: far, double, near or silence)
//   0.30     4.70  far
//   4.80     7.00  double
//
// "far" stretches have far-end speech (echo) and no near-end speech: the echo
// return loss enhancement is measured over them.
#include <cstdint>
#include <string>
#include <vector>

enum class SegmentKind { FarOnly, DoubleTalk, NearOnly, Silence };

struct Segment {
  double start;  // seconds
  double end;
  SegmentKind kind;
};

struct SegmentListResult {
  std::vector<Segment> segments;  // in the file's order, sorted by start, none overlapping
  std::string error;             // "" or one line with the file name and line number
};

SegmentListResult parseSegmentList(const std::string& text, const std::string& name);
SegmentListResult readSegmentList(const std::string& path);

// A half-open range of frames.
struct FrameRange {
  int64_t begin;
  int64_t end;
};

// The stretches of one kind as frame ranges at `rate`, clipped to `frames`;
// empty ranges are dropped.
std::vector<FrameRange> framesOfKind(const std::vector<Segment>& segments, SegmentKind kind, int32_t rate,
                                     int64_t frames);

// The ranges without their first `skip` frames counted over all of them in
// order: what is left once the canceller has had `skip` frames to adapt.
std::vector<FrameRange> afterFirstFrames(const std::vector<FrameRange>& ranges, int64_t skip);

const char* segmentKindName(SegmentKind kind);
