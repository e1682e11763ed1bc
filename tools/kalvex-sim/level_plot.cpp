#include "level_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "atomic_file.h"

namespace {

constexpr double kWidth = 1000.0;    // px
constexpr double kLeft = 60.0;       // px of axis labels
constexpr double kRight = 20.0;
constexpr double kPanelTop[2] = {40.0, 230.0};
constexpr double kPanelHeight = 150.0;
constexpr double kHeight = 440.0;
constexpr double kGridDb = 20.0;

struct Panel {
  double top;
  double seconds;
  double x(double t) const { return kLeft + (kWidth - kLeft - kRight) * (seconds > 0 ? t / seconds : 0.0); }
  double y(double db) const {
    double clamped = std::clamp(db, kPlotBottomDb, 0.0);
    return top + kPanelHeight * (clamped / kPlotBottomDb);
  }
};

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

// Each level is drawn at the middle of its window.
std::string polyline(const Panel& p, const std::vector<double>& levels, double window, const char* colour,
                     double width) {
  std::string points;
  for (size_t i = 0; i < levels.size(); i++) {
    if (i != 0) points += ' ';
    points += number(p.x((static_cast<double>(i) + 0.5) * window)) + "," + number(p.y(levels[i]));
  }
  return "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"" + number(width) + "\" points=\"" + points +
         "\"/>\n";
}

const char* shade(SegmentKind kind) {
  switch (kind) {
    case SegmentKind::FarOnly:
      return "#fff3c4";
    case SegmentKind::DoubleTalk:
      return "#f6d5e5";
    case SegmentKind::NearOnly:
      return "#d8ecd8";
    default:
      return "#eeeeee";
  }
}

std::string panel(const Panel& p, const LevelPlot& plot, const std::string& label) {
  std::string svg;
  for (const Segment& s : plot.segments) {
    double x0 = p.x(std::min(s.start, p.seconds));
    double x1 = p.x(std::min(s.end, p.seconds));
    if (x1 <= x0) continue;
    svg += "<rect x=\"" + number(x0) + "\" y=\"" + number(p.top) + "\" width=\"" + number(x1 - x0) + "\" height=\"" +
           number(kPanelHeight) + "\" fill=\"" + shade(s.kind) + "\"/>\n";
  }
  for (double db = 0.0; db >= kPlotBottomDb; db -= kGridDb) {
    svg += "<line x1=\"" + number(kLeft) + "\" x2=\"" + number(kWidth - kRight) + "\" y1=\"" + number(p.y(db)) +
           "\" y2=\"" + number(p.y(db)) + "\" stroke=\"#cccccc\"/>\n";
    svg += "<text x=\"" + number(kLeft - 6) + "\" y=\"" + number(p.y(db) + 4) +
           "\" text-anchor=\"end\" font-size=\"11\">" + std::to_string(static_cast<int>(db)) + "</text>\n";
  }
  int wholeSeconds = static_cast<int>(std::floor(p.seconds));
  for (int t = 0; t <= wholeSeconds; t++) {
    svg += "<line x1=\"" + number(p.x(t)) + "\" x2=\"" + number(p.x(t)) + "\" y1=\"" + number(p.top) + "\" y2=\"" +
           number(p.top + kPanelHeight) + "\" stroke=\"#e0e0e0\"/>\n";
    svg += "<text x=\"" + number(p.x(t)) + "\" y=\"" + number(p.top + kPanelHeight + 14) +
           "\" text-anchor=\"middle\" font-size=\"11\">" + std::to_string(t) + " s</text>\n";
  }
  svg += "<rect x=\"" + number(kLeft) + "\" y=\"" + number(p.top) + "\" width=\"" + number(kWidth - kLeft - kRight) +
         "\" height=\"" + number(kPanelHeight) + "\" fill=\"none\" stroke=\"#888888\"/>\n";
  svg += "<text x=\"" + number(kLeft + 6) + "\" y=\"" + number(p.top + 14) + "\" font-size=\"12\">" + label +
         "</text>\n";
  return svg;
}

std::string legend(double x, double y, const char* colour, const std::string& text) {
  return "<rect x=\"" + number(x) + "\" y=\"" + number(y - 9) + "\" width=\"14\" height=\"10\" fill=\"" + colour +
         "\"/><text x=\"" + number(x + 18) + "\" y=\"" + number(y) + "\" font-size=\"12\">" + text + "</text>\n";
}

}  // namespace

std::string levelPlotSvg(const LevelPlot& plot) {
  size_t windows = std::max({plot.far.size(), plot.mic.size(), plot.out.size()});
  double seconds = static_cast<double>(windows) * plot.windowSeconds;
  Panel top{kPanelTop[0], seconds};
  Panel bottom{kPanelTop[1], seconds};

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" + number(kHeight) +
         "\" viewBox=\"0 0 " + number(kWidth) + " " + number(kHeight) + "\" font-family=\"sans-serif\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<text x=\"" + number(kLeft) + "\" y=\"24\" font-size=\"15\">" + escape(plot.title) + "</text>\n";
  svg += panel(top, plot, "far end (loudspeakers), dB full scale");
  svg += polyline(top, plot.far, plot.windowSeconds, "#1f5fbf", 1.2);
  svg += panel(bottom, plot, "microphone and output, dB full scale");
  // The microphone is drawn wider so that it shows where the output equals it.
  svg += polyline(bottom, plot.mic, plot.windowSeconds, "#e07b00", 2.2);
  svg += polyline(bottom, plot.out, plot.windowSeconds, "#1a8a3a", 1.2);
  double y = kPanelTop[1] + kPanelHeight + 40;
  svg += legend(kLeft, y, "#1f5fbf", "far end");
  svg += legend(kLeft + 110, y, "#e07b00", "microphone");
  svg += legend(kLeft + 240, y, "#1a8a3a", "output");
  svg += legend(kLeft + 350, y, shade(SegmentKind::FarOnly), "far-end only");
  svg += legend(kLeft + 480, y, shade(SegmentKind::DoubleTalk), "double talk");
  svg += "</svg>\n";
  return svg;
}

std::string writeLevelPlot(const std::string& path, const LevelPlot& plot) {
  std::string svg = levelPlotSvg(plot);
  return writeAtomically(path, [&](const std::string& temporary) -> std::string {
    std::ofstream file(temporary, std::ios::binary);
    file << svg;
    file.close();
    return file ? "" : "write failed";
  });
}
