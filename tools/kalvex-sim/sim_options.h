#pragma once
// The command line of kalvex-sim.
#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
  std::string mic;       // microphone recording, WAV
  std::string far;       // far-end (render) signal, WAV
  std::string out;       // processed capture stream, WAV in the microphone's format
  int32_t bufferMs = 10;  // length of each render and capture buffer, ms
  bool noiseSuppressor = true;
  bool canceller = true;  // EcSettings enable; off: the capture stream passes untouched
  uint32_t micMode = 1;  // EcSettings micMode: 2 gives each capture channel its own canceller
  bool status = false;   // print each status poll (every 100 ms of audio) as the console report shows it
  std::string plot;      // SVG picture of the levels, or ""
  std::string segments;  // segment list naming the far-end-only stretches, or ""
  bool help = false;
};

struct SimOptionsResult {
  SimOptions options;
  std::string error;  // "" or one line
};

inline constexpr int32_t kMinBufferMs = 1;
inline constexpr int32_t kMaxBufferMs = 1000;

// Options as "--name value" or "--name=value"; `arguments` excludes the program name.
SimOptionsResult parseSimOptions(const std::vector<std::string>& arguments);

extern const char* const kSimUsage;
