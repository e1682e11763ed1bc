#include "sim_options.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kRequired = {"--mic", "m.wav", "--far", "f.wav", "--out", "o.wav"};

std::vector<std::string> with(std::vector<std::string> extra) {
  std::vector<std::string> arguments = kRequired;
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

TEST(SimOptions, RequiredOnlyGivesTheDefaults) {
  SimOptionsResult r = parseSimOptions(kRequired);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.mic, "m.wav");
  EXPECT_EQ(r.options.far, "f.wav");
  EXPECT_EQ(r.options.out, "o.wav");
  EXPECT_EQ(r.options.bufferMs, 10);
  EXPECT_TRUE(r.options.noiseSuppressor);
  EXPECT_TRUE(r.options.canceller);
  EXPECT_EQ(r.options.micMode, 1u);
  EXPECT_FALSE(r.options.status);
  EXPECT_EQ(r.options.plot, "");
  EXPECT_EQ(r.options.segments, "");
}

TEST(SimOptions, EveryOptionInBothSpellings) {
  SimOptionsResult r = parseSimOptions({"--mic=a.wav", "--far", "b.wav", "--out=c.wav", "--buffer-ms=20",
                                        "--noise-suppressor", "off", "--canceller=off", "--mic-mode=both", "--status",
                                        "--plot", "p.svg", "--segments=s.txt"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.mic, "a.wav");
  EXPECT_EQ(r.options.far, "b.wav");
  EXPECT_EQ(r.options.out, "c.wav");
  EXPECT_EQ(r.options.bufferMs, 20);
  EXPECT_FALSE(r.options.noiseSuppressor);
  EXPECT_FALSE(r.options.canceller);
  EXPECT_EQ(r.options.micMode, 2u);
  EXPECT_TRUE(r.options.status);
  EXPECT_EQ(r.options.plot, "p.svg");
  EXPECT_EQ(r.options.segments, "s.txt");
}

TEST(SimOptions, HelpNeedsNothingElse) {
  SimOptionsResult r = parseSimOptions({"--help"});
  EXPECT_EQ(r.error, "");
  EXPECT_TRUE(r.options.help);
}

TEST(SimOptions, MalformedCommandLinesNameTheirFault) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  };
  const Case cases[] = {
      {{"--far", "f.wav", "--out", "o.wav"}, "--mic is required"},
      {{"--mic", "m.wav", "--out", "o.wav"}, "--far is required"},
      {{"--mic", "m.wav", "--far", "f.wav"}, "--out is required"},
      {with({"--buffer-ms"}), "--buffer-ms needs a value"},
      {with({"--buffer-ms="}), "--buffer-ms needs a value"},
      {with({"--buffer-ms", "0"}), "--buffer-ms must be a whole number of ms from 1 to 1000, not \"0\""},
      {with({"--buffer-ms", "1001"}), "--buffer-ms must be a whole number of ms from 1 to 1000, not \"1001\""},
      {with({"--buffer-ms", "10.5"}), "--buffer-ms must be a whole number of ms from 1 to 1000, not \"10.5\""},
      {with({"--buffer-ms", "-5"}), "--buffer-ms must be a whole number of ms from 1 to 1000, not \"-5\""},
      {with({"--buffer-ms", "99999999999"}),
       "--buffer-ms must be a whole number of ms from 1 to 1000, not \"99999999999\""},
      {with({"--noise-suppressor", "yes"}), "--noise-suppressor must be on or off, not \"yes\""},
      {with({"--canceller", "no"}), "--canceller must be on or off, not \"no\""},
      {with({"--mic-mode", "2"}), "--mic-mode must be first or both, not \"2\""},
      {with({"--plot", "levels.png"}), "--plot writes SVG: name the file *.svg"},
      {with({"--plot", "o.svg", "--out", "x.wav"}), "--out given twice"},
      {{"--mic", "m.wav", "--far", "f.wav", "--out", "same.svg", "--plot", "same.svg"},
       "--plot and --out name the same file"},
      {with({"--status=1"}), "--status takes no value"},
      {with({"--verbose"}), "unknown option --verbose"},
      {with({"extra.wav"}), "unexpected argument \"extra.wav\""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.arguments) line += a + " ";
    EXPECT_EQ(parseSimOptions(c.arguments).error, c.error) << "arguments: " << line;
  }
}

}  // namespace
