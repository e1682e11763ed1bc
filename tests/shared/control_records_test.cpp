// The records and codes are a contract with the control application: their
// layout is checked at compile time beside them; here, the values.
#include "shared/control_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shared/control_codes.h"

namespace {

template <typename Record>
std::vector<uint32_t> words(const Record& record) {
  std::vector<uint32_t> out(sizeof(Record) / 4);
  std::memcpy(out.data(), &record, sizeof(Record));
  return out;
}

TEST(ControlRecords, InitialValuesAsTheDriverHoldsThemFromLoad) {
  EXPECT_EQ(words(kInitialEcSettings), (std::vector<uint32_t>{0, 0, 1, 0, 127, 1, 0}));
  EXPECT_EQ(words(kInitialArraySettings), (std::vector<uint32_t>{0, 0, 15}));
}

TEST(ControlRecords, RateMaskBitsCoverTheSevenRatesInOrder) {
  const uint32_t expected[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
  for (int bit = 0; bit < 7; bit++) EXPECT_EQ(EcSettings::kRateMaskRates[bit], expected[bit]) << "bit " << bit;
  EXPECT_EQ(EcSettings::kAllRates, (1u << 7) - 1);
}

TEST(ControlCodes, DecodeToTheirDeviceTypeFunctionAndAccess) {
  struct Case {
    uint32_t code, deviceType, function, access;
  };
  const Case cases[] = {
      {IOCTL_EC_GET_SETTINGS, 0x800, 1, 1},    {IOCTL_EC_SET_SETTINGS, 0x800, 2, 2},
      {IOCTL_EC_GET_STATUS, 0x800, 3, 1},      {IOCTL_ARRAY_GET_SETTINGS, 0x801, 1, 1},
      {IOCTL_ARRAY_SET_SETTINGS, 0x801, 2, 2}, {IOCTL_ARRAY_GET_STATUS, 0x801, 3, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code >> 16, c.deviceType) << std::hex << c.code;
    EXPECT_EQ((c.code >> 2) & 0xFFF, c.function) << std::hex << c.code;
    EXPECT_EQ((c.code >> 14) & 3, c.access) << std::hex << c.code;
    EXPECT_EQ(c.code & 3, 0u) << "buffered method";
  }
}

}  // namespace
