#include "sim_options.h"

#include <set>

const char* const kSimUsage =
    "usage: kalvex-sim --mic MIC.wav --far FAR.wav --out OUT.wav [options]\n"
    "Plays a notebook through the driver: the simulated audio stack opens a render\n"
    "and a capture pin through its filter, writes the far-end signal and reads the\n"
    "microphone recording as kernel-streaming requests, buffer by buffer, and\n"
    "writes the echo-cancelled capture stream.\n"
    "  --mic FILE               microphone recording (WAV: 8000..48000 Hz, 1 or 2 channels, 8/16/32-bit)\n"
    "  --far FILE               far-end signal played by the loudspeakers (WAV, same kinds)\n"
    "  --out FILE               processed microphone stream, WAV in the microphone's format\n"
    "  --buffer-ms N            buffer length in ms, 1..1000 (default 10)\n"
    "  --canceller on|off       echo cancellation (default on); off: the microphone passes untouched\n"
    "  --noise-suppressor on|off  noise suppressor of the canceller (default on)\n"
    "  --mic-mode first|both    stereo capture: process the first channel and copy it to both\n"
    "                           (default), or give each channel its own canceller\n"
    "  --status                 print the console report at each status poll (every 100 ms of\n"
    "                           audio) and the status record every 500 ms\n"
    "  --plot FILE.svg          picture of the microphone, far-end and output levels over time\n"
    "  --segments FILE          stretches of the scenario (lines: start end far|double|near|silence,\n"
    "                           seconds); the echo return loss enhancement is measured over \"far\"\n"
    "  --help                   this text\n";

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool parseInt(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::stoi(text);
  return true;
}

}  // namespace

SimOptionsResult parseSimOptions(const std::vector<std::string>& arguments) {
  SimOptionsResult result;
  SimOptions& o = result.options;
  std::set<std::string> seen;
  auto fail = [&](const std::string& why) {
    result.error = why;
    return result;
  };

  for (size_t i = 0; i < arguments.size(); i++) {
    std::string name = arguments[i];
    std::string value;
    bool inlineValue = false;
    if (name.rfind("--", 0) != 0) return fail("unexpected argument \"" + name + "\"");
    size_t equals = name.find('=');
    if (equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      inlineValue = true;
    }
    bool flag = name == "--status" || name == "--help";
    bool known = flag || name == "--mic" || name == "--far" || name == "--out" || name == "--buffer-ms" ||
                 name == "--noise-suppressor" || name == "--canceller" || name == "--mic-mode" || name == "--plot" ||
                 name == "--segments";
    if (!known) return fail("unknown option " + name);
    if (!seen.insert(name).second) return fail(name + " given twice");
    if (flag) {
      if (inlineValue) return fail(name + " takes no value");
      (name == "--status" ? o.status : o.help) = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= arguments.size()) return fail(name + " needs a value");
      value = arguments[++i];
    }
    if (value.empty()) return fail(name + " needs a value");

    if (name == "--mic") {
      o.mic = value;
    } else if (name == "--far") {
      o.far = value;
    } else if (name == "--out") {
      o.out = value;
    } else if (name == "--plot") {
      if (!endsWith(value, ".svg")) return fail("--plot writes SVG: name the file *.svg");
      o.plot = value;
    } else if (name == "--segments") {
      o.segments = value;
    } else if (name == "--buffer-ms") {
      if (!parseInt(value, o.bufferMs) || o.bufferMs < kMinBufferMs || o.bufferMs > kMaxBufferMs) {
        return fail("--buffer-ms must be a whole number of ms from 1 to 1000, not \"" + value + "\"");
      }
    } else if (name == "--noise-suppressor") {
      if (value != "on" && value != "off") return fail("--noise-suppressor must be on or off, not \"" + value + "\"");
      o.noiseSuppressor = value == "on";
    } else if (name == "--canceller") {
      if (value != "on" && value != "off") return fail("--canceller must be on or off, not \"" + value + "\"");
      o.canceller = value == "on";
    } else if (name == "--mic-mode") {
      if (value != "first" && value != "both") return fail("--mic-mode must be first or both, not \"" + value + "\"");
      o.micMode = value == "both" ? 2 : 1;
    }
  }
  if (o.help) return result;
  if (o.mic.empty()) return fail("--mic is required");
  if (o.far.empty()) return fail("--far is required");
  if (o.out.empty()) return fail("--out is required");
  if (!o.plot.empty() && o.plot == o.out) return fail("--plot and --out name the same file");
  return result;
}
