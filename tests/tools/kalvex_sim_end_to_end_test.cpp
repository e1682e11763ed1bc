// kalvex-sim as a user runs it: the program on a small scenario written to
// disk, its output file and its summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>

#include "scenario_fixture.h"
#include "wav_file.h"

namespace {

struct ProgramRun {
  int status;
  std::string output;  // standard output and standard error
};

ProgramRun runProgram(const std::string& arguments) {
  std::string command = std::string(KALVEX_SIM_PROGRAM) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  return {pclose(pipe), output};
}

double figure(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return NAN;
  return std::stod(match[1]);
}

TEST(KalvexSimEndToEnd, RemovesTheEchoOfASmallScenario) {
  // 5 s of far-end speech at 16000 Hz, its echo 40 ms later at the
  // microphone; the first 4.5 s are listed as far-end only.
  scenario::ScratchDirectory directory("kalvex-sim-e2e");
  std::vector<double> far = scenario::speechLike(16000, 5.0, 21);
  PcmStream mic = scenario::stream(scenario::echoOf(far, 16000, 40.0), {16000, 1, 16});
  ASSERT_EQ(writeWav(directory.file("far.wav"), scenario::stream(far, {16000, 2, 16})), "");
  ASSERT_EQ(writeWav(directory.file("mic.wav"), mic), "");
  std::ofstream(directory.file("scenario.segments")) << "# far end alone\n0.0 4.5 far\n";

  ProgramRun run = runProgram("--mic " + directory.file("mic.wav") + " --far " + directory.file("far.wav") +
                              " --out " + directory.file("out.wav") + " --plot " + directory.file("levels.svg") +
                              " --segments " + directory.file("scenario.segments") + " --status");
  ASSERT_EQ(run.status, 0) << run.output;

  WavReadResult out = readWav(directory.file("out.wav"));
  ASSERT_EQ(out.error, "");
  EXPECT_EQ(out.stream.format, mic.format);
  EXPECT_EQ(out.stream.frames(), mic.frames());
  EXPECT_NE(out.stream.bytes, mic.bytes) << "the capture stream was processed";
  std::ifstream plot(directory.file("levels.svg"));
  std::string firstLine;
  std::getline(plot, firstLine);
  EXPECT_EQ(firstLine.rfind("<?xml", 0), 0u);

  std::regex statusLine("status +[0-9.]+ s  active");
  EXPECT_EQ(std::distance(std::sregex_iterator(run.output.begin(), run.output.end(), statusLine),
                          std::sregex_iterator()),
            10)
      << "one status line per 500 ms of audio\n"
      << run.output;
  std::regex report("poll [0-9]+ at [0-9.]+ s\nFormat\n Read 16000Hz, 1ch, 16bit\n Write 16000Hz, 2ch, 16bit\nPower\n"
                    " Mic [0-9]+ \\([0-9]+ db\\)\n Out [0-9]+ \\([0-9]+ db\\)\nEC Status 0x[0-9A-F]+\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(run.output.begin(), run.output.end(), report), std::sregex_iterator()),
            50)
      << "the console report at each poll, every 100 ms of audio\n"
      << run.output;
  EXPECT_NE(run.output.find("working rate  16000 Hz"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("canceller     ran"), std::string::npos) << run.output;
  double farOnly = figure(run.output, "far-end only (-?[0-9.]+) dB");
  double whole = figure(run.output, "whole file (-?[0-9.]+) dB");
  double delayMs = figure(run.output, "\n  delay +([0-9.]+) ms");
  EXPECT_GT(farOnly, 0.0) << run.output;
  EXPECT_GT(whole, 0.0) << run.output;
  // The echo is 40 ms behind the far end as the files have it; the render
  // stream reaches the engine one buffer (10 ms) ahead of the capture stream,
  // and the engine's reference blocks may add up to two more.
  EXPECT_GE(delayMs, 40.0) << run.output;
  EXPECT_LE(delayMs, 70.0) << run.output;

  // The same run with the canceller off gives back the microphone's file content.
  ProgramRun off = runProgram("--mic " + directory.file("mic.wav") + " --far " + directory.file("far.wav") +
                              " --out " + directory.file("off.wav") + " --canceller off");
  ASSERT_EQ(off.status, 0) << off.output;
  EXPECT_NE(off.output.find("canceller     off"), std::string::npos) << off.output;
  WavReadResult passed = readWav(directory.file("off.wav"));
  ASSERT_EQ(passed.error, "");
  EXPECT_TRUE(passed.stream.bytes == mic.bytes) << "with the canceller off the samples come back bit for bit";
  std::cout << "[ measured ] far-end-only ERLE " << farOnly << " dB, whole file " << whole << " dB, delay "
            << delayMs << " ms\n";
}

}  // namespace
