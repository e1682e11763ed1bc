// Recognising formats and ranges, and the walk over a list of data ranges
// with its stop rules and its malformed headers.
#include "filter/ks_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/audio/sim_audio_model.h"

namespace {

using sim::FormatSpecifier;
using sim::WaveFormat;

TEST(KsFormats, RecognisesAudioPcmWithEitherSpecifier) {
  struct Case {
    const char* name;
    FormatSpecifier specifier;
    uint32_t rate;
    int corruptOffset;  // byte of the header changed, or -1
    int cut;            // bytes taken off the length
    uint32_t waveOffset;
  };
  const Case cases[] = {
      {"wave format", FormatSpecifier::WaveFormatEx, 48000, -1, 0, 64},
      {"DirectSound", FormatSpecifier::DirectSound, 16000, -1, 0, 72},
      {"rate 101 Hz", FormatSpecifier::WaveFormatEx, 101, -1, 0, 64},
      {"rate 100 Hz", FormatSpecifier::WaveFormatEx, 100, -1, 0, 0},
      {"major format not audio", FormatSpecifier::WaveFormatEx, 48000, 16, 0, 0},
      {"sub-format not PCM", FormatSpecifier::WaveFormatEx, 48000, 32, 0, 0},
      {"unknown specifier", FormatSpecifier::WaveFormatEx, 48000, 48, 0, 0},
      {"wave format cut by one byte", FormatSpecifier::WaveFormatEx, 48000, -1, 1, 0},
      {"DirectSound wave format cut by one byte", FormatSpecifier::DirectSound, 48000, -1, 1, 0},
      {"DirectSound cut inside its buffer description", FormatSpecifier::DirectSound, 48000, -1, 20, 0},
      {"only the header", FormatSpecifier::WaveFormatEx, 48000, -1, 18, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sim::dataFormatBytes(WaveFormat{2, c.rate, 16}, c.specifier);
    if (c.corruptOffset >= 0) bytes[static_cast<size_t>(c.corruptOffset)] ^= 0x40;
    uint32_t length = static_cast<uint32_t>(bytes.size() - static_cast<size_t>(c.cut));
    EXPECT_EQ(recognisedWaveOffset(bytes.data(), length), c.waveOffset) << c.name;
  }
  EXPECT_EQ(recognisedWaveOffset(nullptr, 100), 0u);
}

// A list of `count` items of `itemBytes` each (audio PCM ranges from 8000
// to 48000 Hz, FormatSize itemBytes), with Size and Count as given.
std::vector<uint8_t> rangeList(uint32_t count, uint32_t itemBytes, uint32_t size, uint32_t countField) {
  std::vector<uint8_t> bytes(8 + static_cast<size_t>(count) * itemBytes, 0);
  std::memcpy(bytes.data(), &size, 4);
  std::memcpy(bytes.data() + 4, &countField, 4);
  std::vector<uint8_t> one = sim::dataRangeListBytes({{2, 16, 16, 8000, 48000}});
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* item = bytes.data() + 8 + static_cast<size_t>(i) * itemBytes;
    std::memcpy(item, one.data() + 8, std::min<size_t>(88, itemBytes));
    std::memcpy(item, &itemBytes, 4);
  }
  return bytes;
}

TEST(KsFormats, WalkVisitsRecognisedRangesAndStopsAsTheHeaderSays) {
  struct Case {
    const char* name;
    std::vector<uint8_t> list;
    uint32_t available;  // 0: the list's own length
    int visited;
  };
  std::vector<uint8_t> mismatch = rangeList(3, 88, 8 + 3 * 88, 3);
  uint32_t other = 96;
  std::memcpy(mismatch.data() + 8 + 88, &other, 4);  // the second item claims another size
  std::vector<uint8_t> notAudio = rangeList(2, 88, 8 + 2 * 88, 2);
  notAudio[8 + 16] ^= 1;
  const Case cases[] = {
      {"three ranges", rangeList(3, 88, 8 + 3 * 88, 3), 0, 3},
      {"larger items of 96 bytes", rangeList(2, 96, 8 + 2 * 96, 2), 0, 2},
      {"an item whose FormatSize differs stops the walk", mismatch, 0, 1},
      {"items of 64 bytes are walked but not recognised", rangeList(2, 64, 8 + 2 * 64, 2), 0, 0},
      {"items below 64 bytes stop at once", rangeList(2, 60, 8 + 2 * 60, 2), 0, 0},
      {"a range that is not audio is skipped", notAudio, 0, 1},
      {"Count 0 is malformed (no division by it)", rangeList(1, 88, 8 + 88, 0), 0, 0},
      {"Size below the header is malformed", rangeList(1, 88, 4, 1), 0, 0},
      {"Size beyond the buffer is malformed", rangeList(1, 88, 8 + 88, 1), 8 + 87, 0},
      {"a buffer too short for the header", rangeList(0, 88, 8, 1), 7, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> list = c.list;
    uint32_t available = c.available != 0 ? c.available : static_cast<uint32_t>(list.size());
    int visited = 0;
    walkDataRanges(list.data(), available, [&](uint8_t* range) {
      EXPECT_GE(range, list.data() + 8) << c.name;
      EXPECT_LE(range + 88, list.data() + available) << c.name << ": a visited range lies inside the buffer";
      visited++;
    });
    EXPECT_EQ(visited, c.visited) << c.name;
  }
}

}  // namespace
