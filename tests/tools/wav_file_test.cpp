#include "wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

#include "scenario_fixture.h"

namespace {

// Writes a file with libsndfile directly, in formats kalvex-sim must refuse too.
void writeRaw(const std::string& path, int format, int32_t rate, int32_t channels, sf_count_t frames) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<int32_t> samples(static_cast<size_t>(frames * channels), 1 << 20);
  sf_writef_int(file, samples.data(), frames);
  sf_close(file);
}

TEST(WavFile, EveryDeviceFormatSurvivesAWriteAndARead) {
  scenario::ScratchDirectory directory("wav-file");
  std::vector<double> x = scenario::speechLike(8000, 0.1, 3);
  x[0] = -32768.0;  // the extremes of every width
  x[1] = 32767.0;
  for (int32_t bits : {8, 16, 32}) {
    for (int32_t channels : {1, 2}) {
      PcmStream stream = scenario::stream(x, {22050, channels, bits});
      if (bits == 32) stream.bytes[0] = 0x5a;  // a lower half that must be kept
      std::string path = directory.file("f" + std::to_string(bits) + "-" + std::to_string(channels) + ".wav");
      ASSERT_EQ(writeWav(path, stream), "");
      WavReadResult back = readWav(path);
      ASSERT_EQ(back.error, "");
      EXPECT_EQ(back.stream.format, stream.format) << bits << " bit, " << channels << " ch";
      EXPECT_EQ(back.stream.bytes, stream.bytes) << bits << " bit, " << channels << " ch";
    }
  }
}

TEST(WavFile, SampleValuesOnTheSixteenBitScale) {
  // 8-bit byte b reads (b - 128) x 256; a 32-bit container keeps its lower half as a fraction.
  PcmStream eight{{8000, 1, 8}, {0, 128, 255}};
  EXPECT_EQ(eight.sample16(0, 0), -32768.0);
  EXPECT_EQ(eight.sample16(1, 0), 0.0);
  EXPECT_EQ(eight.sample16(2, 0), 32512.0);
  PcmStream wide = scenario::stream({-2.0, 3.0}, {8000, 2, 32});
  EXPECT_EQ(wide.sample16(0, 1), -2.0);
  EXPECT_EQ(wide.sample16(1, 0), 3.0);
  wide.bytes[0] = 0x00;
  wide.bytes[1] = 0x80;  // lower half 0x8000 of frame 0, channel 0
  EXPECT_EQ(wide.sample16(0, 0), -1.5);
}

TEST(WavFile, RefusesWhatTheAudioDeviceCannotDeliver) {
  scenario::ScratchDirectory directory("wav-refusals");
  struct Case {
    const char* name;
    int format;
    int32_t rate;
    int32_t channels;
    sf_count_t frames;
    const char* error;  // after "<path>: "
  };
  const Case cases[] = {
      {"rate.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 12000, 1, 100,
       "unsupported rate 12000 Hz (8000, 11025, 16000, 22050, 32000, 44100 or 48000)"},
      {"rate96.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 96000, 2, 100,
       "unsupported rate 96000 Hz (8000, 11025, 16000, 22050, 32000, 44100 or 48000)"},
      {"three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 3, 100, "unsupported channel count 3 (1 or 2)"},
      {"wide.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 16000, 1, 100,
       "unsupported sample format 24-bit PCM (8, 16 or 32-bit PCM)"},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 1, 100,
       "unsupported sample format 32-bit float (8, 16 or 32-bit PCM)"},
      {"empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, 0, "no samples"},
      {"sound.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16000, 1, 100, "not a WAV or FLAC file"},
  };
  for (const Case& c : cases) {
    std::string path = directory.file(c.name);
    writeRaw(path, c.format, c.rate, c.channels, c.frames);
    EXPECT_EQ(readWav(path).error, path + ": " + c.error);
  }
  EXPECT_EQ(readWav(directory.file("absent.wav")).error, directory.file("absent.wav") + ": no such file");
  std::ofstream(directory.file("text.wav")) << "not audio at all";
  std::string garbled = readWav(directory.file("text.wav")).error;
  EXPECT_EQ(garbled.rfind(directory.file("text.wav") + ": not a readable sound file", 0), 0u) << garbled;
}

TEST(WavFile, AFailedWriteLeavesNothing) {
  scenario::ScratchDirectory directory("wav-write");
  PcmStream stream = scenario::stream({1, 2, 3}, {16000, 1, 16});
  std::string error = writeWav(directory.file("missing/out.wav"), stream);
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  std::filesystem::create_directory(directory.file("taken.wav"));
  error = writeWav(directory.file("taken.wav"), stream);
  EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"taken.wav"}) << "no temporary file stays";
}

}  // namespace
