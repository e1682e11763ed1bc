#include "sim_audio_model.h"

#include <string.h>

#include <algorithm>

#include "filter/interception_hooks.h"
#include "filter/ks_layouts.h"
#include "sim/kernel/sim_io.h"

namespace sim {

namespace {

// The rates an intersection prefers, highest first, Hz.
constexpr uint32_t kStandardRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};

ks::GUID guidAt(const uint8_t* at) { return ks::loadGuid(at); }

ks::WAVEFORMATEX waveOf(const WaveFormat& f) {
  ks::WAVEFORMATEX w{};
  w.wFormatTag = ks::WAVE_FORMAT_PCM;
  w.nChannels = f.channels;
  w.nSamplesPerSec = f.rate;
  w.nBlockAlign = static_cast<uint16_t>(f.frameBytes());
  w.nAvgBytesPerSec = f.rate * f.frameBytes();
  w.wBitsPerSample = f.bits;
  w.cbSize = 0;
  return w;
}

// Answers a variable-sized get: the size alone for a zero-length buffer,
// the data when it fits.
kernel::Status answer(const std::vector<uint8_t>& bytes, uint8_t* data, uint32_t length, uintptr_t& information) {
  information = bytes.size();
  if (length == 0) return kernel::kStatusBufferOverflow;
  if (data == nullptr || length < bytes.size()) {
    information = 0;
    return kernel::kStatusBufferTooSmall;
  }
  memcpy(data, bytes.data(), bytes.size());
  return kernel::kStatusSuccess;
}

}  // namespace

std::vector<uint8_t> dataFormatBytes(const WaveFormat& format, FormatSpecifier specifier) {
  bool dsound = specifier == FormatSpecifier::DirectSound;
  size_t waveOffset = dsound ? offsetof(ks::KSDATAFORMAT_DSOUND, BufferDesc.WaveFormatEx)
                             : offsetof(ks::KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx);
  std::vector<uint8_t> bytes(waveOffset + sizeof(ks::WAVEFORMATEX));
  ks::KSDATAFORMAT header{};
  header.FormatSize = static_cast<uint32_t>(bytes.size());
  header.SampleSize = format.frameBytes();
  header.MajorFormat = ks::KSDATAFORMAT_TYPE_AUDIO;
  header.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
  header.Specifier = dsound ? ks::KSDATAFORMAT_SPECIFIER_DSOUND : ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
  memcpy(bytes.data(), &header, sizeof header);
  ks::WAVEFORMATEX wave = waveOf(format);
  memcpy(bytes.data() + waveOffset, &wave, sizeof wave);
  return bytes;
}

std::vector<uint8_t> dataRangeListBytes(const std::vector<AudioRange>& ranges) {
  std::vector<uint8_t> bytes(sizeof(ks::KSMULTIPLE_ITEM) + ranges.size() * sizeof(ks::KSDATARANGE_AUDIO));
  ks::KSMULTIPLE_ITEM header{static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(ranges.size())};
  memcpy(bytes.data(), &header, sizeof header);
  for (size_t i = 0; i < ranges.size(); i++) {
    ks::KSDATARANGE_AUDIO range{};
    range.DataRange.FormatSize = sizeof(ks::KSDATARANGE_AUDIO);
    range.DataRange.MajorFormat = ks::KSDATAFORMAT_TYPE_AUDIO;
    range.DataRange.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    range.DataRange.Specifier = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    range.MaximumChannels = ranges[i].maxChannels;
    range.MinimumBitsPerSample = ranges[i].minBits;
    range.MaximumBitsPerSample = ranges[i].maxBits;
    range.MinimumSampleFrequency = ranges[i].minRate;
    range.MaximumSampleFrequency = ranges[i].maxRate;
    memcpy(bytes.data() + sizeof header + i * sizeof range, &range, sizeof range);
  }
  return bytes;
}

std::vector<AudioRange> parseDataRangeList(const uint8_t* list, size_t bytes) {
  std::vector<AudioRange> ranges;
  if (list == nullptr || bytes < sizeof(ks::KSMULTIPLE_ITEM)) return ranges;
  ks::KSMULTIPLE_ITEM header;
  memcpy(&header, list, sizeof header);
  if (header.Size > bytes || header.Size < sizeof header) return ranges;
  size_t at = sizeof header;
  for (uint32_t i = 0; i < header.Count && at + sizeof(ks::KSDATARANGE_AUDIO) <= header.Size; i++) {
    ks::KSDATARANGE_AUDIO range;
    memcpy(&range, list + at, sizeof range);
    if (range.DataRange.FormatSize < sizeof range) break;
    ranges.push_back({range.MaximumChannels, range.MinimumBitsPerSample, range.MaximumBitsPerSample,
                      range.MinimumSampleFrequency, range.MaximumSampleFrequency});
    at += range.DataRange.FormatSize;
  }
  return ranges;
}

bool parseDataFormat(const uint8_t* format, size_t bytes, WaveFormat& wave) {
  if (format == nullptr || bytes < sizeof(ks::KSDATAFORMAT)) return false;
  ks::GUID specifier = guidAt(format + offsetof(ks::KSDATAFORMAT, Specifier));
  size_t offset = 0;
  if (ks::sameGuid(specifier, ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)) {
    offset = offsetof(ks::KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx);
  } else if (ks::sameGuid(specifier, ks::KSDATAFORMAT_SPECIFIER_DSOUND)) {
    offset = offsetof(ks::KSDATAFORMAT_DSOUND, BufferDesc.WaveFormatEx);
  } else {
    return false;
  }
  if (bytes < offset + sizeof(ks::WAVEFORMATEX)) return false;
  ks::WAVEFORMATEX w;
  memcpy(&w, format + offset, sizeof w);
  wave = {w.nChannels, w.nSamplesPerSec, w.wBitsPerSample};
  return true;
}

AudioDeviceModel::AudioDeviceModel(uint32_t capturePinId, uint32_t renderPinId)
    : capturePinId_(capturePinId), renderPinId_(renderPinId) {
  ranges_[capturePinId] = {{2, 8, 16, 8000, 48000}};
  if (renderPinId != capturePinId) ranges_[renderPinId] = {{2, 8, 32, 8000, 48000}};
}

void AudioDeviceModel::setRanges(uint32_t pinId, const std::vector<AudioRange>& ranges) {
  std::lock_guard<std::mutex> hold(mutex_);
  ranges_[pinId] = ranges;
}

void AudioDeviceModel::setNodeName(uint32_t node, const std::u16string& name) {
  std::lock_guard<std::mutex> hold(mutex_);
  nodeNames_[node] = name;
}

void AudioDeviceModel::setCaptureSource(CaptureSource source) {
  std::lock_guard<std::mutex> hold(mutex_);
  source_ = std::move(source);
}

void AudioDeviceModel::setRenderSink(RenderSink sink) {
  std::lock_guard<std::mutex> hold(mutex_);
  sink_ = std::move(sink);
}

int32_t AudioDeviceModel::volumeLevel(uint32_t node) const {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = volumes_.find(node);
  return it == volumes_.end() ? 0 : it->second;
}

uint32_t AudioDeviceModel::connectionState(const kernel::FileObject* pin) const {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = pins_.find(pin);
  return it == pins_.end() ? ks::KSSTATE_STOP : it->second.state;
}

WaveFormat AudioDeviceModel::pinFormat(const kernel::FileObject* pin) const {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = pins_.find(pin);
  return it == pins_.end() ? WaveFormat{} : it->second.format;
}

size_t AudioDeviceModel::pinCount() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return pins_.size();
}

bool AudioDeviceModel::inRanges(uint32_t factory, const WaveFormat& f) const {
  auto it = ranges_.find(factory);
  if (it == ranges_.end()) return false;
  for (const AudioRange& r : it->second) {
    if (f.channels >= 1 && f.channels <= r.maxChannels && f.bits >= r.minBits && f.bits <= r.maxBits &&
        f.bits % 8 == 0 && f.rate >= r.minRate && f.rate <= r.maxRate) {
      return true;
    }
  }
  return false;
}

bool AudioDeviceModel::serve(kernel::Irp* irp, kernel::StackLocation* stack, kernel::Status& status,
                             uintptr_t& information) {
  information = 0;
  uint8_t major = kernel::majorFunction(stack);
  if (major == kernel::kIrpMjCreate) {
    status = create(irp, stack);
    return true;
  }
  if (major == kernel::kIrpMjClose) {
    std::lock_guard<std::mutex> hold(mutex_);
    pins_.erase(kernel::fileObject(stack));
    status = kernel::kStatusSuccess;
    return true;
  }
  if (major != kernel::kIrpMjDeviceControl) return false;
  switch (kernel::ioControlCode(stack)) {
    case kIoctlKsProperty:
      status = property(irp, stack, information);
      return true;
    case kIoctlKsReadStream:
      status = stream(irp, stack, true, information);
      return true;
    case kIoctlKsWriteStream:
      status = stream(irp, stack, false, information);
      return true;
    default:
      return false;
  }
}

kernel::Status AudioDeviceModel::create(kernel::Irp* irp, kernel::StackLocation* stack) {
  const auto* connect = static_cast<const uint8_t*>(kernel::systemBuffer(irp));
  if (connect == nullptr) return kernel::kStatusSuccess;  // a handle on the filter itself
  ks::KSPIN_CONNECT header;
  memcpy(&header, connect, sizeof header);
  const uint8_t* format = connect + sizeof header;
  uint32_t formatSize = ks::loadU32(format);
  WaveFormat wave{};
  if (!parseDataFormat(format, formatSize, wave)) return kStatusNoMatch;
  std::lock_guard<std::mutex> hold(mutex_);
  if (!inRanges(header.PinId, wave)) return kStatusNoMatch;
  pins_[kernel::fileObject(stack)] = Pin{header.PinId, header.PinId == capturePinId_, wave, ks::KSSTATE_STOP};
  return kernel::kStatusSuccess;
}

kernel::Status AudioDeviceModel::property(kernel::Irp* irp, kernel::StackLocation* stack, uintptr_t& information) {
  const auto* input = static_cast<const uint8_t*>(kernel::type3InputBuffer(stack));
  uint32_t inputLength = kernel::inputBufferLength(stack);
  auto* data = static_cast<uint8_t*>(kernel::systemBuffer(irp) != nullptr ? kernel::systemBuffer(irp)
                                                                           : kernel::userBuffer(irp));
  uint32_t length = kernel::outputBufferLength(stack);
  if (input == nullptr || inputLength < sizeof(ks::KSPROPERTY)) return kernel::kStatusInvalidDeviceRequest;
  ks::KSPROPERTY p;
  memcpy(&p, input, sizeof p);
  bool set = (p.Flags & ks::KSPROPERTY_TYPE_SET) != 0;
  uint32_t id24 = inputLength >= 28 ? ks::loadU32(input + 24) : 0;
  const kernel::FileObject* file = kernel::fileObject(stack);

  std::unique_lock<std::mutex> hold(mutex_);
  if (ks::sameGuid(p.Set, ks::KSPROPSETID_Connection)) {
    auto pin = pins_.find(file);
    if (pin == pins_.end()) return kStatusNotFound;
    if (p.Id == ks::KSPROPERTY_CONNECTION_STATE) {
      if (data == nullptr || length < 4) return kernel::kStatusBufferTooSmall;
      if (set) {
        pin->second.state = ks::loadU32(data);
      } else {
        ks::storeU32(data, pin->second.state);
        information = 4;
      }
      return kernel::kStatusSuccess;
    }
    if (p.Id == ks::KSPROPERTY_CONNECTION_DATAFORMAT) {
      if (set) {
        WaveFormat wave{};
        if (!parseDataFormat(data, length, wave) || !inRanges(pin->second.factory, wave)) return kStatusNoMatch;
        pin->second.format = wave;
        return kernel::kStatusSuccess;
      }
      return answer(dataFormatBytes(pin->second.format), data, length, information);
    }
  } else if (ks::sameGuid(p.Set, ks::KSPROPSETID_Pin) && inputLength >= sizeof(ks::KSP_PIN)) {
    auto factory = ranges_.find(id24);
    if (factory == ranges_.end()) return kStatusNotFound;
    if (p.Id == ks::KSPROPERTY_PIN_DATARANGES) return answer(dataRangeListBytes(factory->second), data, length, information);
    if (p.Id == ks::KSPROPERTY_PIN_DATAINTERSECTION) {
      std::vector<AudioRange> proposed =
          parseDataRangeList(input + sizeof(ks::KSP_PIN), inputLength - sizeof(ks::KSP_PIN));
      for (const AudioRange& a : proposed) {
        for (const AudioRange& b : factory->second) {
          uint32_t lowRate = std::max(a.minRate, b.minRate), highRate = std::min(a.maxRate, b.maxRate);
          uint32_t lowBits = std::max(a.minBits, b.minBits), highBits = std::min(a.maxBits, b.maxBits);
          uint32_t channels = std::min(a.maxChannels, b.maxChannels);
          if (lowRate > highRate || lowBits > highBits || channels == 0) continue;
          uint32_t rate = highRate;
          for (uint32_t standard : kStandardRates) {
            if (standard >= lowRate && standard <= highRate) {
              rate = standard;
              break;
            }
          }
          uint32_t bits = highBits - highBits % 8;
          if (bits < lowBits || bits == 0) continue;
          WaveFormat chosen{static_cast<uint16_t>(channels), rate, static_cast<uint16_t>(bits)};
          return answer(dataFormatBytes(chosen), data, length, information);
        }
      }
      return kStatusNoMatch;
    }
  } else if (ks::sameGuid(p.Set, ks::KSPROPSETID_Audio) && p.Id == ks::KSPROPERTY_AUDIO_VOLUMELEVEL &&
             inputLength >= sizeof(ks::KSNODEPROPERTY)) {
    if (data == nullptr || length < 4) return kernel::kStatusBufferTooSmall;
    if (set) {
      volumes_[id24] = static_cast<int32_t>(ks::loadU32(data));
    } else {
      ks::storeU32(data, static_cast<uint32_t>(volumes_[id24]));
      information = 4;
    }
    return kernel::kStatusSuccess;
  } else if (ks::sameGuid(p.Set, ks::KSPROPSETID_Topology) && p.Id == ks::KSPROPERTY_TOPOLOGY_NAME &&
             inputLength >= sizeof(ks::KSNODEPROPERTY)) {
    auto name = nodeNames_.find(id24);
    if (name == nodeNames_.end()) return kStatusNotFound;
    std::vector<uint8_t> bytes((name->second.size() + 1) * 2, 0);
    memcpy(bytes.data(), name->second.data(), name->second.size() * 2);
    return answer(bytes, data, length, information);
  }
  return kStatusNotFound;
}

kernel::Status AudioDeviceModel::stream(kernel::Irp* irp, kernel::StackLocation* stack, bool read,
                                        uintptr_t& information) {
  void* headers = kernel::systemBuffer(irp) != nullptr ? kernel::systemBuffer(irp) : kernel::userBuffer(irp);
  uint32_t length = kernel::outputBufferLength(stack);
  if (headers == nullptr || length < sizeof(ks::KSSTREAM_HEADER)) return kernel::kStatusInvalidDeviceRequest;
  ks::KSSTREAM_HEADER header;
  memcpy(&header, headers, sizeof header);
  WaveFormat format{};
  CaptureSource source;
  RenderSink sink;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    auto pin = pins_.find(kernel::fileObject(stack));
    if (pin == pins_.end() || pin->second.capture != read) return kernel::kStatusInvalidDeviceRequest;
    format = pin->second.format;
    source = source_;
    sink = sink_;
  }
  auto* data = static_cast<uint8_t*>(header.Data);
  if (read) {
    uint32_t frameBytes = format.frameBytes();
    uint32_t room = frameBytes == 0 ? 0 : header.FrameExtent - header.FrameExtent % frameBytes;
    uint32_t filled = 0;
    if (data != nullptr && room != 0) filled = source ? source(data, room, format) : (memset(data, 0, room), room);
    header.DataUsed = filled;
    memcpy(headers, &header, sizeof header);
  } else if (data != nullptr && sink) {
    sink(data, std::min(header.DataUsed, header.FrameExtent), format);
  }
  information = sizeof header;
  return kernel::kStatusSuccess;
}

}  // namespace sim
