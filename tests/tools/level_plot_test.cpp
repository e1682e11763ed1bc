#include "level_plot.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "scenario_fixture.h"

namespace {

LevelPlot smallPlot() {
  LevelPlot plot;
  plot.title = "mic <a> & far";
  plot.windowSeconds = 0.5;
  plot.far = {-20, -30, -200, -10};  // -200 is below the drawn range
  plot.mic = {-25, -35, -45, -15};
  plot.out = {-50, -60, -70, 0};
  plot.segments = {{0.0, 1.0, SegmentKind::FarOnly}, {1.0, 5.0, SegmentKind::DoubleTalk}};
  return plot;
}

std::vector<std::string> polylinePoints(const std::string& svg) {
  std::vector<std::string> lines;
  std::regex polyline("<polyline [^>]*points=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline); it != std::sregex_iterator(); ++it) {
    lines.push_back((*it)[1]);
  }
  return lines;
}

TEST(LevelPlot, DrawsThreeLevelLinesWithOnePointPerWindow) {
  std::string svg = levelPlotSvg(smallPlot());
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  std::vector<std::string> lines = polylinePoints(svg);
  ASSERT_EQ(lines.size(), 3u) << "far end, microphone, output";
  for (const std::string& points : lines) {
    std::istringstream words(points);
    int count = 0;
    for (std::string p; words >> p;) count++;
    EXPECT_EQ(count, 4) << points;
  }
  // The top panel spans 40 .. 190 px for 0 .. -90 dB: -200 is drawn on the
  // axis at 190, -20 at 40 + 150 x 20/90 = 73.3.
  EXPECT_NE(lines[0].find(",73.3 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(",190.0 "), std::string::npos) << lines[0];
}

TEST(LevelPlot, ShadesTheStretchesWithinTheTimeAxisAndEscapesTheTitle) {
  std::string svg = levelPlotSvg(smallPlot());
  EXPECT_NE(svg.find("mic &lt;a&gt; &amp; far"), std::string::npos);
  // 4 windows of 0.5 s make 2 s; the double-talk stretch is cut at 2 s.
  // x = 60 + 920 t / 2: far-only 60 .. 520, double talk 520 .. 980, per panel.
  std::regex far("<rect x=\"60.0\" y=\"[0-9.]+\" width=\"460.0\"[^>]*fill=\"#fff3c4\"");
  std::regex talk("<rect x=\"520.0\" y=\"[0-9.]+\" width=\"460.0\"[^>]*fill=\"#f6d5e5\"");
  auto count = [&](const std::regex& r) {
    return std::distance(std::sregex_iterator(svg.begin(), svg.end(), r), std::sregex_iterator());
  };
  EXPECT_EQ(count(far), 2) << "one shade in each panel";
  EXPECT_EQ(count(talk), 2);
}

TEST(LevelPlot, WritesTheFileWholeOrNotAtAll) {
  scenario::ScratchDirectory directory("level-plot");
  std::string path = directory.file("levels.svg");
  ASSERT_EQ(writeLevelPlot(path, smallPlot()), "");
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), levelPlotSvg(smallPlot()));
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"levels.svg"}) << "no temporary file stays";

  std::string missing = directory.file("no-such-dir/levels.svg");
  std::string error = writeLevelPlot(missing, smallPlot());
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"levels.svg"});
}

}  // namespace
