// Property requests through the filter over the audio device model: the stop
// of a tracked pin, the rate check, the recorded format, the adjusted data
// ranges and intersections, the volume levels and the node names; and the
// requests the filter must leave alone.
#include "filter/property_interception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ks_fixture.h"

namespace {

using sim::AudioRange;
using sim::WaveFormat;

// 16.16 fixed-point decibels.
int32_t decibels(double db) { return static_cast<int32_t>(std::lround(db * 65536.0)); }

class PropertyInterception : public KsFixture {
 protected:
  // A capture pin and a render pin created directly in these formats and
  // claimed by one read and one write.
  void claimPins(const WaveFormat& capture, const WaveFormat& render) {
    capturePin = mixer->createPin(model.capturePinId(), capture);
    renderPin = mixer->createPin(model.renderPinId(), render);
    ASSERT_NE(capturePin, nullptr);
    ASSERT_NE(renderPin, nullptr);
    std::vector<uint8_t> data(render.frameBytes() * 10, 0);
    mixer->write(renderPin, data);
    mixer->read(capturePin, data, capture.frameBytes() * 10);
    ASSERT_EQ(filter->pins.capturePin, capturePin);
    ASSERT_EQ(filter->pins.renderPin, renderPin);
  }
  std::vector<AudioRange> rangesSeen(uint32_t pinId) {
    std::vector<AudioRange> ranges;
    EXPECT_EQ(mixer->dataRanges(pinId, ranges), kernel::kStatusSuccess);
    return ranges;
  }

  kernel::FileObject* capturePin = nullptr;
  kernel::FileObject* renderPin = nullptr;
};

TEST_F(PropertyInterception, StopOfATrackedPinReleasesItWithItsFormats) {
  struct Case {
    const char* name;
    bool capture;     // which pin the request is for
    uint32_t flags;   // get or set
    uint32_t state;   // what the data buffer holds on the way down
    bool released;
  };
  const Case cases[] = {
      {"set stop on the capture pin", true, ks::KSPROPERTY_TYPE_SET, ks::KSSTATE_STOP, true},
      {"a get whose buffer holds 0 on the capture pin", true, ks::KSPROPERTY_TYPE_GET, 0, true},
      {"set pause on the capture pin", true, ks::KSPROPERTY_TYPE_SET, ks::KSSTATE_PAUSE, false},
      {"set stop on the render pin", false, ks::KSPROPERTY_TYPE_SET, ks::KSSTATE_STOP, true},
      {"set acquire on the render pin", false, ks::KSPROPERTY_TYPE_SET, ks::KSSTATE_ACQUIRE, false},
  };
  start();
  for (const Case& c : cases) {
    initializePinTracking(filter->pins);
    initializeDriverState(filter->state);
    claimPins({1, 16000, 16}, {2, 16000, 16});
    filter->state.status.flags = EcStatus::kFlagRenderFormatUnusable | EcStatus::kFlagUserModeCapture;
    std::vector<uint8_t> data(4);
    std::memcpy(data.data(), &c.state, 4);
    sim::RequestResult r = mixer->property(c.capture ? capturePin : renderPin, ks::KSPROPSETID_Connection,
                                           ks::KSPROPERTY_CONNECTION_STATE, c.flags, {}, data);
    EXPECT_EQ(r.status, kernel::kStatusSuccess) << c.name;
    const EcStatus& s = filter->state.status;
    if (c.capture) {
      EXPECT_EQ(filter->pins.capturePin == nullptr, c.released) << c.name;
      EXPECT_EQ(s.captureRunning, c.released ? 0u : 1u) << c.name;
      EXPECT_EQ(s.readRate, c.released ? 0u : 16000u) << c.name;
      EXPECT_EQ(s.flags, c.released ? 0u : EcStatus::kFlagRenderFormatUnusable | EcStatus::kFlagUserModeCapture)
          << c.name;
      EXPECT_EQ(filter->pins.renderPin, renderPin) << c.name;
    } else {
      EXPECT_EQ(filter->pins.renderPin == nullptr, c.released) << c.name;
      EXPECT_EQ(s.renderRunning, c.released ? 0u : 1u) << c.name;
      EXPECT_EQ(s.writeRate, c.released ? 0u : 16000u) << c.name;
      EXPECT_EQ(filter->pins.renderFormat.nSamplesPerSec, c.released ? 0u : 16000u) << c.name;
      EXPECT_EQ(s.flags, c.released ? EcStatus::kFlagUserModeCapture
                                    : EcStatus::kFlagRenderFormatUnusable | EcStatus::kFlagUserModeCapture)
          << c.name;
      EXPECT_EQ(filter->pins.capturePin, capturePin) << c.name;
    }
    mixer->close(capturePin);
    mixer->close(renderPin);
  }
}

TEST_F(PropertyInterception, RateCheckKeepsTheRenderRateAMultipleOfTheCaptureRate) {
  struct Case {
    const char* name;
    uint32_t enable;
    WaveFormat requested;
    kernel::Status status;
    uint32_t writeRate, writeChannels, writeBits;  // afterwards
  };
  const Case cases[] = {
      {"48000 repairs 44100", 1, {2, 48000, 16}, kernel::kStatusSuccess, 48000, 2, 16},
      {"44100 is refused", 1, {1, 44100, 8}, kernel::kStatusUnsuccessful, 44100, 1, 8},
      {"the capture rate itself passes", 1, {2, 16000, 16}, kernel::kStatusSuccess, 16000, 2, 16},
      {"without cancellation 44100 passes", 0, {1, 44100, 8}, kernel::kStatusSuccess, 44100, 1, 8},
  };
  start();
  for (const Case& c : cases) {
    initializePinTracking(filter->pins);
    initializeDriverState(filter->state);
    writeSettings(enabled(c.enable));
    claimPins({1, 16000, 16}, {2, 44100, 32});
    EXPECT_EQ(mixer->setDataFormat(renderPin, c.requested), c.status) << c.name;
    const EcStatus& s = filter->state.status;
    EXPECT_EQ(s.writeRate, c.writeRate) << c.name;
    EXPECT_EQ(s.writeChannels, c.writeChannels) << c.name;
    EXPECT_EQ(s.writeBits, c.writeBits) << c.name;
    EXPECT_EQ(model.pinFormat(renderPin).rate, kernel::isSuccess(c.status) ? c.requested.rate : 44100u) << c.name;
    mixer->close(capturePin);
    mixer->close(renderPin);
  }
}

TEST_F(PropertyInterception, DataRangesGetTheReadCapAndTeachTheLowestRenderRate) {
  struct Case {
    const char* name;
    uint32_t readPinId, writePinId, maxRead;
    uint32_t askedPin;
    std::vector<AudioRange> ranges;
    std::vector<uint32_t> maximaSeen;
    uint32_t minRenderRate;
  };
  const std::vector<AudioRange> two = {{2, 16, 16, 8000, 48000}, {2, 16, 16, 44100, 48000}};
  const Case cases[] = {
      {"capture ranges capped", 2, 0, 16000, 2, two, {16000, 16000}, 192000},
      {"the cap may raise a maximum", 2, 0, 96000, 2, two, {96000, 96000}, 192000},
      {"no cap", 2, 0, 0, 2, two, {48000, 48000}, 192000},
      {"render ranges lower minRenderRate", 2, 0, 16000, 0, two, {48000, 48000}, 8000},
      {"one factory for both: 8000 capped, 44100 lowers", 1, 1, 32000, 1, two, {32000, 48000}, 44100},
      {"other pins untouched", 2, 0, 16000, 5, two, {48000, 48000}, 192000},
  };
  start();
  for (const Case& c : cases) {
    initializePinTracking(filter->pins);
    filter->config.readPinId = c.readPinId;
    filter->config.writePinId = c.writePinId;
    filter->config.maxReadSamplingRate = c.maxRead;
    model.setRanges(c.askedPin, c.ranges);
    std::vector<AudioRange> seen = rangesSeen(c.askedPin);
    std::vector<uint32_t> maxima;
    for (const AudioRange& r : seen) maxima.push_back(r.maxRate);
    EXPECT_EQ(maxima, c.maximaSeen) << c.name;
    EXPECT_EQ(filter->pins.minRenderRate, c.minRenderRate) << c.name;
  }
}

TEST_F(PropertyInterception, IntersectionIsSteeredTowardsUsableRates) {
  struct Case {
    const char* name;
    uint32_t maxRate;    // of the application's settings
    uint32_t maxRead;    // of the registry
    bool captureFirst;   // a capture pin at 16000 Hz is tracked before
    uint32_t renderRangeMinimum;
    uint32_t pin;
    uint32_t chosenRate;
  };
  const Case cases[] = {
      {"render offered the capture rate", 48000, 0, true, 8000, 0, 16000},
      {"not below the render ranges' minimum", 48000, 0, true, 22050, 0, 48000},
      {"no capture pin yet", 48000, 0, false, 8000, 0, 48000},
      {"proposed ranges capped at maxRate", 22050, 0, false, 8000, 2, 22050},
      {"capture choice capped by the registry", 0, 32000, false, 8000, 2, 32000},
      {"nothing to steer", 0, 0, false, 8000, 2, 48000},
  };
  start();
  for (const Case& c : cases) {
    initializePinTracking(filter->pins);
    initializeDriverState(filter->state);
    filter->config.maxReadSamplingRate = c.maxRead;
    EcSettings settings = enabled(1);
    settings.maxRate = c.maxRate;
    writeSettings(settings);
    model.setRanges(0, {{2, 16, 16, c.renderRangeMinimum, 48000}});
    rangesSeen(0);  // the audio stack reads the render ranges first
    if (c.captureFirst) {
      kernel::FileObject* pin = mixer->createPin(2, {1, 16000, 16});
      std::vector<uint8_t> data;
      mixer->read(pin, data, 320);
      ASSERT_EQ(filter->state.status.readRate, 16000u) << c.name;
    }
    WaveFormat chosen{};
    EXPECT_EQ(mixer->intersect(c.pin, {{2, 16, 16, 8000, 48000}}, chosen), kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(chosen.rate, c.chosenRate) << c.name;
  }
}

TEST_F(PropertyInterception, ProposedRangesBeyondTheInputAreNotTouched) {
  start();
  writeSettings(enabled(1));  // maxRate 48000
  rangesSeen(0);              // minRenderRate 8000, below maxRate
  // A KSP_PIN and a list whose Size (and its one item's FormatSize) fits
  // the whole input but not what is left of it after the 32 bytes of the
  // KSP_PIN: the item would reach 32 bytes past the input.
  std::vector<uint8_t> input(8, 0);
  std::vector<uint8_t> list = sim::dataRangeListBytes({{2, 16, 16, 8000, 96000}});
  const uint32_t trueSize = static_cast<uint32_t>(list.size());
  const uint32_t wholeInput = trueSize + 24 + 8;
  const uint32_t claimedItem = wholeInput - 8;
  std::memcpy(list.data(), &wholeInput, 4);
  std::memcpy(list.data() + 8, &claimedItem, 4);
  input.insert(input.end(), list.begin(), list.end());
  std::vector<uint8_t> data(90, 0);
  std::vector<uint8_t> after;
  mixer->property(mixer->filterHandle(), ks::KSPROPSETID_Pin, ks::KSPROPERTY_PIN_DATAINTERSECTION,
                  ks::KSPROPERTY_TYPE_GET, input, data, &after);
  EXPECT_EQ(after, input) << "the proposed ranges are malformed and stay as they came";

  // The same list with its true sizes is capped at maxRate.
  const uint32_t trueItem = 88;
  std::memcpy(input.data() + 8, &trueSize, 4);
  std::memcpy(input.data() + 16, &trueItem, 4);
  mixer->property(mixer->filterHandle(), ks::KSPROPSETID_Pin, ks::KSPROPERTY_PIN_DATAINTERSECTION,
                  ks::KSPROPERTY_TYPE_GET, input, data, &after);
  uint32_t maximum = 0;
  std::memcpy(&maximum, after.data() + 8 + 8 + 80, 4);
  EXPECT_EQ(maximum, 48000u);
}

TEST_F(PropertyInterception, VolumeLevelsOfNamedNodesAreFollowedInStepsOf15) {
  start();
  model.setNodeName(3, u"MICROPHONE volume");
  model.setNodeName(5, u"Master Volume");
  model.setNodeName(6, u"Wave Volume");
  std::u16string name;
  for (uint32_t node : {3u, 5u, 6u}) ASSERT_EQ(mixer->nodeName(node, name), kernel::kStatusSuccess);
  EXPECT_EQ(filter->pins.nodeKinds[3], kNodeMicVolume);
  EXPECT_EQ(filter->pins.nodeKinds[5], kNodeMasterVolume);
  EXPECT_EQ(filter->pins.nodeKinds[6], kNodeOther);

  struct Case {
    uint32_t node;
    double db;
    int32_t micLevel, masterLevel;  // afterwards, tenths of a dB
  };
  const Case cases[] = {
      {3, 12.3, 120, 0},   // 123 tenths, down to a multiple of 15
      {3, -6.0, 0, 0},     // the microphone level never goes below 0
      {3, 31.9, 315, 0},
      {5, -10.3, 315, -90},  // -103 tenths truncate toward zero to -90
      {5, -200.0, 315, -90}, // below -128 dB: ignored
      {5, -128.0, 315, -1275},
      {6, 10.0, 315, -1275},  // a node of another kind
      {40, 10.0, 315, -1275}, // beyond the 32 node kinds
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mixer->setVolume(c.node, decibels(c.db)), kernel::kStatusSuccess);
    EXPECT_EQ(filter->pins.micLevel, c.micLevel) << "node " << c.node << " at " << c.db << " dB";
    EXPECT_EQ(filter->pins.masterLevel, c.masterLevel) << "node " << c.node << " at " << c.db << " dB";
  }
}

TEST_F(PropertyInterception, NodeNamesAreComparedWholeAndWithoutCase) {
  start();
  const struct {
    std::u16string name;
    int32_t kind;
  } cases[] = {
      {u"microphone volume", kNodeMicVolume},
      {u"MASTER VOLUME", kNodeMasterVolume},
      {u"Microphone Volume 2", kNodeOther},
      {u"Microphone", kNodeOther},
      {u"", kNodeOther},
  };
  uint32_t node = 10;
  for (const auto& c : cases) {
    model.setNodeName(node, c.name);
    filter->pins.nodeKinds[node] = 7;  // so that every outcome is written
    std::u16string name;
    EXPECT_EQ(mixer->nodeName(node, name), kernel::kStatusSuccess);
    EXPECT_EQ(filter->pins.nodeKinds[node], c.kind) << sim::narrow(c.name);
    node++;
  }
}

TEST_F(PropertyInterception, NodeNamesAreLearnedAtPassiveLevelOnly) {
  start();
  model.setNodeName(3, u"Microphone Volume");
  std::u16string name;
  sim::setCurrentIrql(kernel::kDispatchLevel);
  EXPECT_EQ(mixer->nodeName(3, name), kernel::kStatusSuccess);
  sim::setCurrentIrql(kernel::kPassiveLevel);
  EXPECT_EQ(name, u"Microphone Volume");
  EXPECT_EQ(filter->pins.nodeKinds[3], kNodeOther) << "completed at dispatch level: nothing learned";
  EXPECT_EQ(mixer->nodeName(3, name), kernel::kStatusSuccess);
  EXPECT_EQ(filter->pins.nodeKinds[3], kNodeMicVolume);
}

TEST_F(PropertyInterception, UserModeRequestsPassUntouched) {
  start();
  writeSettings(enabled(1));
  filter->config.maxReadSamplingRate = 16000;
  sim::KsClient* application = client(kernel::RequestorMode::User);
  std::vector<AudioRange> ranges;
  ASSERT_EQ(application->dataRanges(2, ranges), kernel::kStatusSuccess);
  EXPECT_EQ(ranges.at(0).maxRate, 48000u) << "no cap on a user-mode requester's ranges";

  kernel::FileObject* pin = application->createPin(2, {1, 16000, 16});
  std::vector<uint8_t> data;
  application->read(pin, data, 320);
  ASSERT_EQ(filter->pins.capturePin, pin) << "a user-mode reader still claims the pin";
  EXPECT_EQ(application->setState(pin, ks::KSSTATE_STOP), kernel::kStatusSuccess);
  EXPECT_EQ(filter->pins.capturePin, pin) << "its stop is not examined";

  model.setNodeName(3, u"Microphone Volume");
  std::u16string name;
  application->nodeName(3, name);
  EXPECT_EQ(filter->pins.nodeKinds[3], kNodeOther);
}

TEST(PropertyLevels, MasterLevelBelowMinus128DecibelsIsIgnoredBeforeRounding) {
  const struct {
    int32_t v;
    int32_t level;
  } cases[] = {
      {-8388609, kIgnoredMasterLevel},  // just below -128 dB
      {-8388608, -1275},                // -128 dB itself counts, rounded to a step
      {-13107200, kIgnoredMasterLevel}, // -200 dB
      {0, 0},
      {98304, 15},  // +1.5 dB
      {INT32_MAX, 327675},  // 10 x v taken in 64 bits: no overflow
  };
  for (const auto& c : cases) EXPECT_EQ(masterLevelFor(c.v), c.level) << c.v;
  EXPECT_EQ(micLevelFor(INT32_MAX), 327675);
  EXPECT_EQ(micLevelFor(-65536), 0);
}

}  // namespace
