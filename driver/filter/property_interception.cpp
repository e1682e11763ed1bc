#include "filter/property_interception.h"

#include "filter/filter_driver.h"
#include "filter/ks_formats.h"
#include "kernel/float_state.h"
#include "kernel/irql.h"

namespace {

using ks::loadU32;

constexpr uint32_t kIdOffset = sizeof(ks::KSPROPERTY);          // pin or node id
constexpr uint32_t kProposedRangesOffset = sizeof(ks::KSP_PIN);  // the data intersection's KSMULTIPLE_ITEM
constexpr HookDecision kPass = {HookAction::Pass, kernel::kStatusSuccess};
constexpr HookDecision kPassWithCompletion = {HookAction::PassWithCompletion, kernel::kStatusSuccess};
// Volume steps the levels follow, tenths of a dB.
constexpr int64_t kLevelStep = 15;
// Master levels below this are ignored, 16.16 dB (-128 dB).
constexpr int32_t kLowestMasterLevel = -8388608;
// With one pin factory for both directions, ranges reaching down to this
// rate are taken for capture ranges, Hz.
constexpr uint32_t kCaptureRangeMinimum = 8000;

// (2) While echo cancellation is on, a format above the capture rate is
// accepted only when it repairs a render rate that is not a multiple of it.
HookDecision checkRate(FilterDriver& filter, const PropertyRequest& request) {
  if (request.data == nullptr) return kPass;
  uint32_t offset = recognisedWaveOffset(request.data, request.dataLength);
  if (offset == 0) return kPassWithCompletion;
  ks::WAVEFORMATEX f = loadWaveFormat(request.data + offset);
  DriverState& driver = filter.state;
  kernel::SpinLockGuard hold(driver.streamLock);
  EcStatus& status = driver.status;
  uint32_t readRate = status.readRate;
  if (driver.settings.enable == 0 || readRate == 0 || f.nSamplesPerSec <= readRate) return kPassWithCompletion;
  uint32_t r = status.writeRate != 0 ? status.writeRate : filter.pins.renderFormat.nSamplesPerSec;
  bool repairs = r > readRate && r % readRate != 0 && f.nSamplesPerSec % readRate == 0;
  if (repairs) return kPassWithCompletion;
  status.writeChannels = f.nChannels;
  status.writeBits = f.wBitsPerSample;
  return {HookAction::CompleteHere, kernel::kStatusUnsuccessful};
}

// (5) The lower driver intersects with ranges capped at the application's
// highest rate.
void capProposedRanges(FilterDriver& filter, const PropertyRequest& request) {
  if (request.data == nullptr || request.inputLength < kProposedRangesOffset) return;
  uint32_t maxRate = 0;
  {
    kernel::SpinLockGuard hold(filter.state.streamLock);
    maxRate = filter.state.settings.maxRate;
  }
  if (maxRate == 0) return;
  uint32_t lowestRender = minRenderRate(filter.pins);
  // The ranges lie inside the input, after the KSP_PIN: their Size is
  // bounded by what is left of it.
  walkDataRanges(request.input + kProposedRangesOffset, request.inputLength - kProposedRangesOffset,
                 [&](uint8_t* range) {
                   uint8_t* maximum = range + kMaximumFrequencyOffset;
                   if (maxRate < loadU32(maximum) && lowestRender < maxRate) ks::storeU32(maximum, maxRate);
                 });
}

// (4) The capture ranges get the registry's cap; the render ranges' minimum
// rates are remembered.
void adjustRanges(FilterDriver& filter, const PropertyRequest& request) {
  uint32_t pin = 0;
  if (request.data == nullptr || !addressedId(request, pin)) return;
  const RegistryConfig& config = filter.config;
  uint32_t cap = config.maxReadSamplingRate;
  walkDataRanges(request.data, request.dataLength, [&](uint8_t* range) {
    uint32_t minimum = loadU32(range + kMinimumFrequencyOffset);
    uint8_t* maximum = range + kMaximumFrequencyOffset;
    if (config.readPinId == config.writePinId && pin == config.readPinId) {
      if (minimum > kCaptureRangeMinimum) {
        lowerMinRenderRate(filter.pins, minimum);
      } else if (cap != 0) {
        ks::storeU32(maximum, cap);
      }
    } else if (pin == config.readPinId) {
      if (cap != 0) ks::storeU32(maximum, cap);
    } else if (pin == config.writePinId) {
      lowerMinRenderRate(filter.pins, minimum);
    }
  });
}

// (6) The render pin is offered the capture rate; the capture pin's choice
// is capped.
void adjustChosenFormat(FilterDriver& filter, const PropertyRequest& request) {
  uint32_t pin = 0;
  if (!addressedId(request, pin)) return;
  const RegistryConfig& config = filter.config;
  uint32_t enable = 0;
  uint32_t readRate = 0;
  {
    kernel::SpinLockGuard hold(filter.state.streamLock);
    enable = filter.state.settings.enable;
    readRate = filter.state.status.readRate;
  }
  if (enable == 0 && config.maxReadSamplingRate == 0) return;
  uint32_t offset = recognisedWaveOffset(request.data, request.dataLength);
  if (offset == 0) return;
  uint8_t* wave = request.data + offset;
  uint32_t rate = waveRate(wave);
  if (pin == config.writePinId) {
    if (enable != 0 && readRate != 0 && readRate < rate && minRenderRate(filter.pins) <= readRate) {
      setWaveRate(wave, readRate);
    }
  } else if (pin == config.readPinId && config.maxReadSamplingRate != 0) {
    if (config.maxReadSamplingRate < rate) setWaveRate(wave, config.maxReadSamplingRate);
  }
}

// (3) The format a pin was switched to is the render format from now on.
void recordFormat(FilterDriver& filter, const PropertyRequest& request) {
  uint32_t offset = recognisedWaveOffset(request.data, request.dataLength);
  if (offset == 0) return;
  ks::WAVEFORMATEX f = loadWaveFormat(request.data + offset);
  kernel::SpinLockGuard hold(filter.state.streamLock);
  EcStatus& status = filter.state.status;
  status.writeRate = f.nSamplesPerSec;
  status.writeChannels = f.nChannels;
  status.writeBits = f.wBitsPerSample;
}

// The echo-path estimate follows a level step of `fromTenths` to `toTenths`
// (tenths of a dB); called under the stream lock.
void compensate(DriverState& driver, int32_t fromTenths, int32_t toTenths) {
  if (driver.status.active == 0) return;
  kernel::FloatStateGuard floatState;
  if (floatState.saved()) driver.engine.compensateGain(fromTenths / 10.0, toTenths / 10.0);
}

// (7) A microphone or master volume set moves the echo estimate with it.
void followLevel(FilterDriver& filter, const PropertyRequest& request) {
  uint32_t node = 0;
  if (!addressedId(request, node) || node >= PinTracking::kNodeCount) return;
  if (request.data == nullptr || request.dataLength < sizeof(int32_t)) return;
  auto v = static_cast<int32_t>(loadU32(request.data));
  int32_t kind = nodeKind(filter.pins, node);
  DriverState& driver = filter.state;
  PinTracking& pins = filter.pins;
  if (kind == kNodeMicVolume) {
    int32_t t = micLevelFor(v);
    kernel::SpinLockGuard hold(driver.streamLock);
    if (t != pins.micLevel) {
      compensate(driver, pins.micLevel, t);
      pins.micLevel = t;
    }
  } else if (kind == kNodeMasterVolume) {
    int32_t t = masterLevelFor(v);
    if (t == kIgnoredMasterLevel) return;
    kernel::SpinLockGuard hold(driver.streamLock);
    if (t != pins.masterLevel) {
      compensate(driver, pins.masterLevel, t);
      pins.masterLevel = t;
    }
  }
}

kernel::WideChar foldCase(kernel::WideChar c) {
  // Latin letters, basic and Latin-1 (without the multiplication sign).
  if (c >= u'a' && c <= u'z') return static_cast<kernel::WideChar>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<kernel::WideChar>(c - 0x20);
  return c;
}

// The returned name ends at its NUL or at the data buffer's end.
bool sameName(const uint8_t* data, uint32_t dataLength, const kernel::UnicodeString& configured) {
  uint32_t available = dataLength / 2;  // bytes to characters
  uint32_t wanted = configured.length / 2;
  for (uint32_t i = 0; i < wanted; i++) {
    if (i >= available) return false;
    kernel::WideChar c;
    __builtin_memcpy(&c, data + 2 * i, sizeof c);
    if (c == 0 || foldCase(c) != foldCase(configured.buffer[i])) return false;
  }
  if (wanted == available) return true;
  kernel::WideChar end;
  __builtin_memcpy(&end, data + 2 * wanted, sizeof end);
  return end == 0;
}

// (8) The nodes are told apart by their names, at passive level only.
void classifyNode(FilterDriver& filter, const PropertyRequest& request) {
  uint32_t node = 0;
  if (!addressedId(request, node) || node >= PinTracking::kNodeCount) return;
  if (kernel::currentIrql() != kernel::kPassiveLevel || request.data == nullptr) return;
  int32_t kind = kNodeOther;
  if (sameName(request.data, request.dataLength, filter.config.micVolumeName.name)) {
    kind = kNodeMicVolume;
  } else if (sameName(request.data, request.dataLength, filter.config.masterVolumeName.name)) {
    kind = kNodeMasterVolume;
  }
  __atomic_store_n(&filter.pins.nodeKinds[node], kind, __ATOMIC_RELAXED);
}

}  // namespace

FollowedProperty followedProperty(const PropertyRequest& request) {
  const ks::GUID& set = request.set;
  if (ks::sameGuid(set, ks::KSPROPSETID_Connection)) {
    if (request.id == ks::KSPROPERTY_CONNECTION_STATE) return FollowedProperty::ConnectionState;
    if (request.id == ks::KSPROPERTY_CONNECTION_DATAFORMAT) return FollowedProperty::DataFormat;
  } else if (ks::sameGuid(set, ks::KSPROPSETID_Pin)) {
    if (request.id == ks::KSPROPERTY_PIN_DATARANGES) return FollowedProperty::DataRanges;
    if (request.id == ks::KSPROPERTY_PIN_DATAINTERSECTION) return FollowedProperty::DataIntersection;
  } else if (ks::sameGuid(set, ks::KSPROPSETID_Audio)) {
    if (request.id == ks::KSPROPERTY_AUDIO_VOLUMELEVEL && (request.flags & ks::KSPROPERTY_TYPE_SET) != 0) {
      return FollowedProperty::VolumeLevel;
    }
  } else if (ks::sameGuid(set, ks::KSPROPSETID_Topology)) {
    if (request.id == ks::KSPROPERTY_TOPOLOGY_NAME) return FollowedProperty::TopologyName;
  }
  return FollowedProperty::None;
}

bool addressedId(const PropertyRequest& request, uint32_t& id) {
  if (request.input == nullptr || request.inputLength < kIdOffset + sizeof(uint32_t)) return false;
  id = loadU32(request.input + kIdOffset);
  return true;
}

int32_t micLevelFor(int32_t v) {
  int64_t t = v <= 0 ? 0 : int64_t{10} * v / 65536;
  return static_cast<int32_t>(kLevelStep * (t / kLevelStep));
}

int32_t masterLevelFor(int32_t v) {
  if (v < kLowestMasterLevel) return kIgnoredMasterLevel;
  int64_t t = int64_t{10} * v / 65536;
  return static_cast<int32_t>(kLevelStep * (t / kLevelStep));
}

HookDecision propertyGoingDown(FilterDriver& filter, const PropertyRequest& request) {
  switch (followedProperty(request)) {
    case FollowedProperty::ConnectionState:
      if (request.data != nullptr && request.dataLength >= sizeof(uint32_t) &&
          loadU32(request.data) == ks::KSSTATE_STOP) {
        pinStopped(filter.state, filter.pins, request.fileObject);
      }
      return kPass;
    case FollowedProperty::DataFormat:
      return checkRate(filter, request);
    case FollowedProperty::DataIntersection:
      capProposedRanges(filter, request);
      return kPassWithCompletion;
    case FollowedProperty::DataRanges:
    case FollowedProperty::VolumeLevel:
    case FollowedProperty::TopologyName:
      return kPassWithCompletion;
    case FollowedProperty::None:
      break;
  }
  return kPass;
}

void propertyCompleted(FilterDriver& filter, const PropertyRequest& request, kernel::Status status) {
  if (!kernel::isSuccess(status)) return;
  switch (followedProperty(request)) {
    case FollowedProperty::DataFormat:
      recordFormat(filter, request);
      break;
    case FollowedProperty::DataRanges:
      adjustRanges(filter, request);
      break;
    case FollowedProperty::DataIntersection:
      adjustChosenFormat(filter, request);
      break;
    case FollowedProperty::VolumeLevel:
      followLevel(filter, request);
      break;
    case FollowedProperty::TopologyName:
      classifyNode(filter, request);
      break;
    case FollowedProperty::ConnectionState:
    case FollowedProperty::None:
      break;
  }
}
