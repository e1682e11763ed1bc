#include "segment_list.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

struct KindName {
  const char* name;
  SegmentKind kind;
};

constexpr KindName kKindNames[] = {
    {"far", SegmentKind::FarOnly},
    {"double", SegmentKind::DoubleTalk},
    {"near", SegmentKind::NearOnly},
    {"silence", SegmentKind::Silence},
};

bool parseSeconds(const std::string& word, double& value) {
  try {
    size_t used = 0;
    value = std::stod(word, &used);
    return used == word.size() && std::isfinite(value) && value >= 0.0;
  } catch (...) {
    return false;
  }
}

}  // namespace

const char* segmentKindName(SegmentKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

SegmentListResult parseSegmentList(const std::string& text, const std::string& name) {
  SegmentListResult result;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    result.segments.clear();
    result.error = name + ":" + std::to_string(number) + ": " + why;
    return result;
  };
  while (std::getline(lines, line)) {
    number++;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    if (fields.empty()) continue;
    if (fields.size() != 3) return fail("expected: start end kind");
    Segment segment{};
    if (!parseSeconds(fields[0], segment.start) || !parseSeconds(fields[1], segment.end)) {
      return fail("start and end must be seconds, 0 or more");
    }
    if (segment.end <= segment.start) return fail("the end must come after the start");
    const KindName* kind = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                        [&](const KindName& k) { return fields[2] == k.name; });
    if (kind == std::end(kKindNames)) return fail("unknown kind \"" + fields[2] + "\" (far, double, near or silence)");
    segment.kind = kind->kind;
    if (!result.segments.empty() && segment.start < result.segments.back().end) {
      return fail("stretches must be in time order without overlap");
    }
    result.segments.push_back(segment);
  }
  return result;
}

SegmentListResult readSegmentList(const std::string& path) {
  std::ifstream file(path);
  if (!file) return {{}, path + ": no such file"};
  std::ostringstream text;
  text << file.rdbuf();
  return parseSegmentList(text.str(), path);
}

std::vector<FrameRange> framesOfKind(const std::vector<Segment>& segments, SegmentKind kind, int32_t rate,
                                     int64_t frames) {
  std::vector<FrameRange> ranges;
  for (const Segment& s : segments) {
    if (s.kind != kind) continue;
    int64_t begin = std::min(frames, static_cast<int64_t>(std::llround(s.start * rate)));
    int64_t end = std::min(frames, static_cast<int64_t>(std::llround(s.end * rate)));
    if (end > begin) ranges.push_back({begin, end});
  }
  return ranges;
}

std::vector<FrameRange> afterFirstFrames(const std::vector<FrameRange>& ranges, int64_t skip) {
  std::vector<FrameRange> rest;
  for (FrameRange r : ranges) {
    int64_t dropped = std::min(skip, r.end - r.begin);
    skip -= dropped;
    r.begin += dropped;
    if (r.end > r.begin) rest.push_back(r);
  }
  return rest;
}
