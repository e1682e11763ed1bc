// The registry configuration read at load: three numbers of the service key
// and two media-category names, with every rule about lengths and levels.
#include "filter/registry_config.h"

#include <cstring>
#include <string>
#include <vector>

#include "filter_fixture.h"
#include "kernel/registry.h"

namespace {

constexpr char16_t kCategories[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\MediaCategories\\";
const std::u16string kMicKey = std::u16string(kCategories) + u"{185FEDED-9905-11D1-95A9-00C04FB925D3}";
const std::u16string kMasterKey = std::u16string(kCategories) + u"{185FEDE3-9905-11D1-95A9-00C04FB925D3}";

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) { return b; }

std::u16string nameOf(const MediaCategoryName& name) {
  return std::u16string(name.name.buffer, name.name.length / 2);
}

class RegistryConfigTest : public FilterFixture {
 protected:
  RegistryConfig read() {
    std::u16string path = kServiceKey;
    kernel::UnicodeString servicePath{static_cast<uint16_t>(path.size() * 2), static_cast<uint16_t>(path.size() * 2),
                                      path.data()};
    RegistryConfig config;
    std::memset(&config, 0x5A, sizeof config);  // nothing may rely on a zeroed start
    readRegistryConfiguration(config, servicePath);
    EXPECT_EQ(sim::registryCounters().openKeys, 0) << "every key closed";
    return config;
  }
};

TEST_F(RegistryConfigTest, DefaultsWhenNothingIsThere) {
  for (bool keyExists : {false, true}) {
    if (keyExists) sim::createRegistryKey(kServiceKey);
    RegistryConfig config = read();
    EXPECT_EQ(config.maxReadSamplingRate, 0u) << keyExists;
    EXPECT_EQ(config.readPinId, 2u) << keyExists;
    EXPECT_EQ(config.writePinId, 0u) << keyExists;
    EXPECT_EQ(nameOf(config.micVolumeName), u"") << keyExists;
    EXPECT_EQ(config.micVolumeName.text[0], 0) << keyExists;
    EXPECT_EQ(nameOf(config.masterVolumeName), u"") << keyExists;
  }
}

TEST_F(RegistryConfigTest, OnlyFourByteServiceValuesCount) {
  struct Case {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> data;
    uint32_t readPinId;
  };
  const Case cases[] = {
      {"a DWORD", kernel::kRegDword, bytes({5, 0, 0, 0}), 5},
      {"four binary bytes", kernel::kRegBinary, bytes({7, 1, 0, 0}), 0x107},
      {"eight bytes fit the query but are ignored", kernel::kRegQword, bytes({5, 0, 0, 0, 0, 0, 0, 0}), 2},
      {"nine bytes do not fit the query", kernel::kRegBinary, bytes({5, 0, 0, 0, 0, 0, 0, 0, 0}), 2},
      {"two bytes", kernel::kRegBinary, bytes({5, 0}), 2},
      {"no bytes", kernel::kRegBinary, {}, 2},
  };
  for (const Case& c : cases) {
    sim::setRegistryValue(kServiceKey, u"ReadPinId", c.type, c.data);
    EXPECT_EQ(read().readPinId, c.readPinId) << c.name;
  }
}

TEST_F(RegistryConfigTest, ReadsTheThreeNumbersAndTheTwoNames) {
  sim::setRegistryDword(kServiceKey, u"maxreadsamplingrate", 16000);  // names match case-insensitively
  sim::setRegistryDword(kServiceKey, u"ReadPinId", 1);
  sim::setRegistryDword(kServiceKey, u"WritePinId", 3);
  sim::setRegistryString(kMicKey, u"Name", u"Microphone Volume");
  sim::setRegistryString(kMasterKey, u"Name", u"Master Volume");
  RegistryConfig config = read();
  EXPECT_EQ(config.maxReadSamplingRate, 16000u);
  EXPECT_EQ(config.readPinId, 1u);
  EXPECT_EQ(config.writePinId, 3u);
  EXPECT_EQ(nameOf(config.micVolumeName), u"Microphone Volume");
  EXPECT_EQ(config.micVolumeName.name.buffer, config.micVolumeName.text);
  EXPECT_EQ(config.micVolumeName.text[17], 0) << "the stored NUL came along";
  EXPECT_EQ(nameOf(config.masterVolumeName), u"Master Volume");
}

// The name query's buffer holds 260 bytes of data after its header.
TEST_F(RegistryConfigTest, ANameIsReadOnlyWhenItFitsTheQuery) {
  struct Case {
    size_t characters;  // without the NUL
    bool read;
  };
  for (const Case c : {Case{0, true}, Case{129, true}, Case{130, false}, Case{200, false}}) {
    std::u16string name(c.characters, u'x');
    sim::setRegistryString(kMicKey, u"Name", name);
    RegistryConfig config = read();
    EXPECT_EQ(nameOf(config.micVolumeName), c.read ? name : u"") << c.characters << " characters";
  }
}

TEST_F(RegistryConfigTest, ANameWithoutItsNulIsStillTerminated) {
  std::vector<uint8_t> data = {'M', 0, 'i', 0, 'c', 0};
  sim::setRegistryValue(kMicKey, u"Name", kernel::kRegSz, data);
  RegistryConfig config = read();
  EXPECT_EQ(nameOf(config.micVolumeName), u"Mic");
  EXPECT_EQ(config.micVolumeName.text[3], 0);
}

TEST_F(RegistryConfigTest, NothingIsReadAboveThePassiveLevel) {
  sim::setRegistryDword(kServiceKey, u"ReadPinId", 1);
  sim::setRegistryString(kMicKey, u"Name", u"Microphone Volume");
  sim::setCurrentIrql(kernel::kDispatchLevel);
  RegistryConfig config = read();
  sim::setCurrentIrql(kernel::kPassiveLevel);
  EXPECT_EQ(sim::registryCounters().opens, 0);
  EXPECT_EQ(config.readPinId, 2u);
  EXPECT_EQ(nameOf(config.micVolumeName), u"");
}

// Allocations, in order: three number buffers, then for each name its GUID
// string and its query buffer. A refused one skips just its value.
TEST_F(RegistryConfigTest, ARefusedAllocationSkipsOnlyItsValue) {
  sim::setRegistryDword(kServiceKey, u"MaxReadSamplingRate", 16000);
  sim::setRegistryDword(kServiceKey, u"ReadPinId", 1);
  sim::setRegistryDword(kServiceKey, u"WritePinId", 3);
  sim::setRegistryString(kMicKey, u"Name", u"Mic");
  sim::setRegistryString(kMasterKey, u"Name", u"Master");
  struct Case {
    int64_t refused;
    uint32_t maxRate, readPin, writePin;
    const char16_t* mic;
    const char16_t* master;
  };
  const Case cases[] = {
      {1, 0, 1, 3, u"Mic", u"Master"},     {2, 16000, 2, 3, u"Mic", u"Master"},
      {3, 16000, 1, 0, u"Mic", u"Master"}, {4, 16000, 1, 3, u"", u"Master"},
      {5, 16000, 1, 3, u"", u"Master"},    {6, 16000, 1, 3, u"Mic", u""},
      {7, 16000, 1, 3, u"Mic", u""},       {8, 16000, 1, 3, u"Mic", u"Master"},
  };
  for (const Case& c : cases) {
    int64_t before = sim::poolCounters().liveBlocks;
    sim::failAllocation(c.refused);
    RegistryConfig config = read();
    sim::failAllocation(0);
    EXPECT_EQ(config.maxReadSamplingRate, c.maxRate) << "allocation " << c.refused;
    EXPECT_EQ(config.readPinId, c.readPin) << "allocation " << c.refused;
    EXPECT_EQ(config.writePinId, c.writePin) << "allocation " << c.refused;
    EXPECT_EQ(nameOf(config.micVolumeName), c.mic) << "allocation " << c.refused;
    EXPECT_EQ(nameOf(config.masterVolumeName), c.master) << "allocation " << c.refused;
    EXPECT_EQ(sim::poolCounters().liveBlocks, before) << "allocation " << c.refused << ": all released";
  }
}

TEST_F(RegistryConfigTest, TheEntryReadsTheRegistryPathItIsGiven) {
  sim::setRegistryDword(kServiceKey, u"MaxReadSamplingRate", 16000);
  load();
  EXPECT_EQ(filter->config.maxReadSamplingRate, 16000u);
}

}  // namespace
