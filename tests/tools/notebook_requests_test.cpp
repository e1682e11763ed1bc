// The notebook through the whole driver with kernel-streaming requests,
// against the same notebook handed to the two stream halves directly: on
// the bundled scenario the echo goes as well either way, with the canceller
// off the microphone comes back bit for bit, and the render pin is steered
// to the capture rate as the driver steers it.
#include <gtest/gtest.h>

#include <cstdio>

#include "notebook_measures.h"
#include "notebook_simulation.h"
#include "scenario_fixture.h"
#include "segment_list.h"
#include "sim/kernel/sim_random.h"
#include "wav_file.h"

namespace {

// The runtime's random seed at load.
constexpr uint32_t kLoadSeed = 1;

struct BundledCase {
  const char* name;
  const char* mic;  // under data/
  const char* far;
  const char* segments;
};

const BundledCase kBundled[] = {
    {"16000 Hz mono", "notebook-16k-mono-mic.wav", "notebook-16k-mono-far.wav", "notebook-16k-mono.segments"},
    {"48000 Hz stereo", "notebook-48k-stereo-mic.flac", "notebook-48k-stereo-far.flac",
     "notebook-48k-stereo.segments"},
};

struct Bundled {
  PcmStream mic;
  PcmStream far;
  std::vector<Segment> segments;
};

Bundled load(const BundledCase& c) {
  std::string data = std::string(KALVEX_DATA_DIR) + "/";
  WavReadResult mic = readWav(data + c.mic);
  WavReadResult far = readWav(data + c.far);
  SegmentListResult segments = readSegmentList(data + c.segments);
  EXPECT_EQ(mic.error + far.error + segments.error, "") << c.name;
  return {mic.stream, far.stream, segments.segments};
}

TEST(NotebookThroughRequests, BundledScenarioLosesItsEchoAsThroughTheStreamHalvesDirectly) {
  // The whole scenario (7.12 s) each way; the figure compared is the one the
  // summary prints as far-end only after its first 1.0 s.
  for (const BundledCase& c : kBundled) {
    Bundled scene = load(c);
    // The comfort noise draws on the runtime's one random sequence: each
    // run starts it where a freshly loaded system has it.
    sim::seedRandom(kLoadSeed);
    NotebookResult requests = playNotebook(scene.mic, scene.far, {}, nullptr);
    ASSERT_EQ(requests.streamFault, "") << c.name;
    EXPECT_TRUE(requests.driverStarted) << c.name;
    EXPECT_TRUE(requests.poolReleased) << c.name;
    EXPECT_TRUE(requests.cancellerRan) << c.name;
    EXPECT_EQ(requests.renderFormat, scene.far.format) << c.name << ": the far end's own rate is a multiple already";
    EXPECT_EQ(requests.output.bytes.size(), scene.mic.bytes.size()) << c.name;
    sim::seedRandom(kLoadSeed);
    NotebookResult direct = playNotebookDirect(scene.mic, scene.far, {});
    ASSERT_TRUE(direct.cancellerRan) << c.name;

    NotebookMeasures throughRequests = measureNotebook(scene.mic, requests.output, scene.segments);
    NotebookMeasures directly = measureNotebook(scene.mic, direct.output, scene.segments);
    EXPECT_EQ(requests.output.bytes, direct.output.bytes) << c.name << ": the requests carry the same samples";
    ASSERT_TRUE(throughRequests.erleFarOnlySettled && directly.erleFarOnlySettled) << c.name;
    double viaRequests = *throughRequests.erleFarOnlySettled;
    double viaHalves = *directly.erleFarOnlySettled;
    std::printf("[ measured ] %s: far-end-only ERLE after 1.0 s through requests %.2f dB, direct %.2f dB; "
                "delay %d / %d samples\n",
                c.name, viaRequests, viaHalves, requests.delay, direct.delay);
    EXPECT_GT(viaHalves, 10.0) << c.name << ": the engine removes the echo";
    EXPECT_NEAR(viaRequests, viaHalves, 1.0) << c.name;
    EXPECT_EQ(requests.workingRate, direct.workingRate) << c.name;
  }
}

TEST(NotebookThroughRequests, WithTheCancellerOffTheMicrophoneComesBackBitForBit) {
  struct Case {
    std::string name;
    PcmStream mic;
    PcmStream far;
  };
  std::vector<Case> cases;
  for (const BundledCase& c : kBundled) {
    Bundled scene = load(c);
    cases.push_back({c.name, scene.mic, scene.far});
  }
  // A 32-bit capture keeps its lower halves only if the capture path leaves
  // it alone; the far end at three times the capture rate.
  std::vector<double> far = scenario::speechLike(16000, 1.3, 8);
  cases.push_back({"16000 Hz stereo 32-bit", scenario::stream(scenario::speechLike(16000, 1.3, 9), {16000, 2, 32}),
                   scenario::stream(far, {48000, 2, 16})});
  std::vector<uint8_t>& containers = cases.back().mic.bytes;
  for (size_t at = 0; at + 4 <= containers.size(); at += 4) {
    containers[at] = static_cast<uint8_t>(at / 4 * 37);  // the lower 16 bits, little-endian
    containers[at + 1] = 0x5A;
  }
  for (const Case& c : cases) {
    NotebookSettings settings;
    settings.canceller = false;
    NotebookResult run = playNotebook(c.mic, c.far, settings, nullptr);
    ASSERT_EQ(run.streamFault, "") << c.name;
    EXPECT_TRUE(run.output.bytes == c.mic.bytes) << c.name << ": the capture stream came back changed";
    EXPECT_FALSE(run.cancellerRan) << c.name;
    EXPECT_EQ(run.renderFormat, c.far.format) << c.name << ": nothing steers the render rate with the canceller off";
    EXPECT_TRUE(run.poolReleased) << c.name;
  }
}

}  // namespace
