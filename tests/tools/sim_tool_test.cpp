#include "sim_tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "notebook_measures.h"
#include "notebook_simulation.h"
#include "scenario_fixture.h"
#include "sim/kernel/sim_kernel.h"
#include "wav_file.h"

namespace {

TEST(NotebookFormats, RatesPairAsTheCaptureEntryPairsThem) {
  struct Case {
    int32_t micRate, micChannels, farRate, bufferMs;
    bool usable;
  };
  const Case cases[] = {
      {16000, 1, 16000, 10, true},
      {16000, 1, 48000, 10, true},   // three render samples per capture sample
      {8000, 2, 48000, 10, true},
      {22050, 1, 44100, 10, true},
      {11025, 1, 22050, 10, true},
      {48000, 2, 16000, 10, false},  // render slower than capture
      {44100, 1, 48000, 10, false},  // not a whole multiple
      {32000, 1, 48000, 10, false},
      {16000, 1, 1000, 10, false},
      // At most the working rate's worth of samples per buffer, channels counted:
      {48000, 2, 48000, 83, true},   // 7968 samples, working rate 8000
      {48000, 2, 48000, 84, false},  // 8064
      {16000, 1, 16000, 1000, true},
      {44100, 2, 44100, 250, true},  // 22050
      {44100, 2, 44100, 251, false},
      {11025, 1, 11025, 1, true},    // 11 frames
  };
  for (const Case& c : cases) {
    std::string error = checkNotebookFormats({c.micRate, c.micChannels, 16}, {c.farRate, 2, 16}, c.bufferMs);
    EXPECT_EQ(error.empty(), c.usable) << c.micRate << " Hz x" << c.micChannels << " with " << c.farRate
                                       << " Hz, " << c.bufferMs << " ms: " << error;
  }
  EXPECT_EQ(checkNotebookFormats({44100, 1, 16}, {48000, 2, 16}, 10),
            "far-end rate 48000 Hz cannot pair with microphone rate 44100 Hz: the render rate must be a whole "
            "multiple of the capture rate");
}

TEST(Notebook, EightBitCapturePassesUnchangedAndTheStatusIsPolledEvery100Ms) {
  // 8-bit capture is a width the engine does not read: every byte comes
  // back as captured, and the status reports the unusable format.
  std::vector<double> far = scenario::speechLike(8000, 2.3, 4);
  PcmStream mic = scenario::stream(scenario::echoOf(far, 8000, 40.0), {8000, 1, 8});
  int64_t liveBefore = sim::poolCounters().liveBlocks;
  std::vector<int64_t> polls;
  NotebookResult run = playNotebook(mic, scenario::stream(far, {8000, 2, 16}), {}, [&](const StatusRead& read) {
    polls.push_back(read.poll);
  });
  ASSERT_EQ(run.streamFault, "");
  EXPECT_EQ(run.output.bytes, mic.bytes);
  EXPECT_EQ(run.output.format, mic.format);
  EXPECT_NE(run.flags & EcStatus::kFlagCaptureFormatUnusable, 0u);
  EXPECT_FALSE(run.cancellerRan);
  ASSERT_EQ(run.statusReads.size(), 23u) << "one poll per 100 ms of the 2.3 s";
  for (size_t i = 0; i < run.statusReads.size(); i++) {
    EXPECT_EQ(polls[i], static_cast<int64_t>(i + 1));
    EXPECT_NEAR(run.statusReads[i].seconds, 0.1 * static_cast<double>(i + 1), 1e-9) << "poll " << i + 1;
  }
  const EcStatus& first = run.statusReads[0].status;
  EXPECT_EQ(first.captureRunning, 1u) << "the capture pin was claimed by its first read";
  EXPECT_EQ(first.renderRunning, 1u);
  EXPECT_EQ(first.readBits, 8u);
  EXPECT_EQ(first.writeRate, 8000u);
  EXPECT_EQ(first.active, 0u);
  EXPECT_GT(run.statusReads[4].status.readPeak, 0u) << "the capture path still measures the level";
  EXPECT_GT(run.statusReads[4].status.writePeak, 0u);
  EXPECT_EQ(run.statusReads.back().means.count(), 0u) << "no processed stream, no running means";
  EXPECT_TRUE(run.poolReleased);
  EXPECT_EQ(sim::poolCounters().liveBlocks, liveBefore);
}

TEST(Notebook, TheRenderPinIsSteeredToTheCaptureRateAndTheMixerResamples) {
  // The audio stack proposes the far end's own rate; with the canceller on
  // the driver offers the render pin the capture rate instead, and the
  // mixer plays the far end at that rate. The echo is still removed.
  struct Case {
    int32_t micRate, farRate;
    bool canceller;
    int32_t renderRate;  // of the pin, Hz
  };
  const Case cases[] = {
      {16000, 48000, true, 16000},
      {16000, 48000, false, 48000},  // nothing steers with the canceller off
      {8000, 16000, true, 8000},
      {16000, 16000, true, 16000},
      {11025, 44100, true, 11025},
  };
  for (const Case& c : cases) {
    int32_t k = c.farRate / c.micRate;
    std::vector<double> far = scenario::speechLike(c.farRate, 2.0, 12);
    // The microphone hears the far end at its own rate: every k-th sample.
    std::vector<double> heard;
    for (size_t n = 0; n < far.size(); n += static_cast<size_t>(k)) heard.push_back(far[n]);
    PcmStream mic = scenario::stream(scenario::echoOf(heard, c.micRate, 40.0), {c.micRate, 1, 16});
    NotebookSettings settings;
    settings.canceller = c.canceller;
    NotebookResult run = playNotebook(mic, scenario::stream(far, {c.farRate, 2, 16}), settings, nullptr);
    std::string name = std::to_string(c.micRate) + " Hz with " + std::to_string(c.farRate) + " Hz, canceller " +
                       (c.canceller ? "on" : "off");
    ASSERT_EQ(run.streamFault, "") << name;
    EXPECT_EQ(run.renderFormat, (PcmFormat{c.renderRate, 2, 16})) << name;
    EXPECT_EQ(run.renderFrames, int64_t{c.renderRate} / 100) << name << ": 10 ms per render buffer";
    EXPECT_EQ(run.statusReads.back().status.writeRate, static_cast<uint32_t>(c.renderRate)) << name;
    EXPECT_EQ(run.cancellerRan, c.canceller) << name;
    if (c.canceller) {
      NotebookMeasures m = measureNotebook(mic, run.output, {{0.0, 2.0, SegmentKind::FarOnly}});
      ASSERT_TRUE(m.erleFarOnlySettled) << name;
      EXPECT_GT(*m.erleFarOnlySettled, 10.0) << name;
    }
  }
}

TEST(Notebook, OutputKeepsTheMicrophonesLengthWhateverTheFarEndsLength) {
  struct Case {
    double micSeconds, farSeconds;
    int32_t bufferMs;
  };
  const Case cases[] = {{1.234, 2.0, 10}, {1.0, 0.3, 10}, {0.005, 1.0, 10}, {1.0, 1.0, 7}};
  for (const Case& c : cases) {
    std::vector<double> far = scenario::speechLike(16000, c.farSeconds, 5);
    PcmStream mic = scenario::stream(scenario::speechLike(16000, c.micSeconds, 6), {16000, 2, 32});
    NotebookSettings settings;
    settings.bufferMs = c.bufferMs;
    NotebookResult run = playNotebook(mic, scenario::stream(far, {48000, 1, 16}), settings, nullptr);
    EXPECT_EQ(run.streamFault, "");
    EXPECT_EQ(run.output.frames(), mic.frames()) << c.micSeconds << " s with " << c.farSeconds << " s";
    EXPECT_EQ(run.captureFrames, 16 * c.bufferMs);
    EXPECT_EQ(run.renderFrames, 16 * c.bufferMs) << "the render pin runs at the capture rate";
    EXPECT_TRUE(run.poolReleased);
  }
}

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun runTool(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  int code = runKalvexSim(arguments, out, err);
  return {code, out.str(), err.str()};
}

TEST(KalvexSimTool, BadInputIsOneErrorLineAndWritesNothing) {
  scenario::ScratchDirectory directory("sim-tool");
  std::vector<double> far = scenario::speechLike(16000, 0.5, 1);
  ASSERT_EQ(writeWav(directory.file("far.wav"), scenario::stream(far, {16000, 1, 16})), "");
  ASSERT_EQ(writeWav(directory.file("far44.wav"), scenario::stream(far, {44100, 1, 16})), "");
  ASSERT_EQ(writeWav(directory.file("mic.wav"), scenario::stream(scenario::echoOf(far, 16000, 40), {16000, 1, 16})),
            "");
  ASSERT_EQ(writeWav(directory.file("mic48.wav"), scenario::stream(far, {48000, 2, 16})), "");
  std::ofstream(directory.file("bad.segments")) << "0 1 far\n1 0.5 double\n";
  std::vector<std::string> before = directory.entries();
  std::string mic = directory.file("mic.wav");
  std::string farFile = directory.file("far.wav");
  std::string out = directory.file("out.wav");
  std::string plot = directory.file("levels.svg");

  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string error;  // the line after "kalvex-sim: "
  };
  const Case cases[] = {
      {{"--mic", directory.file("none.wav"), "--far", farFile, "--out", out}, kExitBadInput,
       directory.file("none.wav") + ": no such file"},
      {{"--mic", mic, "--far", directory.file("bad.segments"), "--out", out}, kExitBadInput,
       directory.file("bad.segments") + ": not a readable sound file"},
      {{"--mic", directory.file("mic48.wav"), "--far", farFile, "--out", out}, kExitBadInput,
       "far-end rate 16000 Hz cannot pair with microphone rate 48000 Hz"},
      {{"--mic", mic, "--far", directory.file("far44.wav"), "--out", out}, kExitBadInput,
       "far-end rate 44100 Hz cannot pair with microphone rate 16000 Hz"},
      {{"--mic", directory.file("mic48.wav"), "--far", directory.file("mic48.wav"), "--out", out, "--buffer-ms",
        "100"},
       kExitBadInput, "buffers of 100 ms hold 9600 capture samples; the engine accepts at most 8000"},
      {{"--mic", mic, "--far", farFile, "--out", out, "--segments", directory.file("bad.segments")}, kExitBadInput,
       directory.file("bad.segments") + ":2: the end must come after the start"},
      {{"--mic", mic, "--far", farFile, "--out", out, "--segments", directory.file("none.segments")}, kExitBadInput,
       directory.file("none.segments") + ": no such file"},
      {{"--mic", mic, "--far", farFile, "--out", directory.file("sub/out.wav"), "--plot", plot}, kExitBadInput,
       directory.file("sub/out.wav") + ": directory " + directory.file("sub") + " does not exist"},
      {{"--mic", mic, "--far", farFile, "--out", out, "--plot", directory.file("sub/levels.svg")}, kExitBadInput,
       directory.file("sub/levels.svg") + ": directory " + directory.file("sub") + " does not exist"},
      {{"--mic", mic, "--far", farFile}, kExitUsage, "--out is required (see --help)"},
  };
  for (const Case& c : cases) {
    ToolRun run = runTool(c.arguments);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_EQ(run.out, "") << "nothing but the error line";
    EXPECT_EQ(run.err.rfind("kalvex-sim: " + c.error, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(directory.entries(), before) << "a failed run writes no file: " << run.err;
  }
}

TEST(KalvexSimTool, HelpPrintsTheUsage) {
  ToolRun run = runTool({"--help"});
  EXPECT_EQ(run.code, kExitSuccess);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("--noise-suppressor on|off"), std::string::npos);
}

}  // namespace
