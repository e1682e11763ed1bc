#pragma once
// A picture of the levels over time, as an SVG file: the far-end level on
// top; the microphone and the output below on one scale, so that the gap
// between them is the echo removed. Stretches from the segment list are
// shaded.
#include <string>
#include <vector>

#include "segment_list.h"

struct LevelPlot {
  std::string title;
  double windowSeconds = 0.02;  // each level value covers this much time
  std::vector<double> far;      // dB relative to full scale, one per window
  std::vector<double> mic;
  std::vector<double> out;
  std::vector<Segment> segments;
};

// The levels are drawn from kPlotBottomDb to 0 dB; lower values sit on the axis.
inline constexpr double kPlotBottomDb = -90.0;

std::string levelPlotSvg(const LevelPlot& plot);
// Writes the SVG whole or not at all; "" or one error line.
std::string writeLevelPlot(const std::string& path, const LevelPlot& plot);
