// Arbitrary property requests, stream requests, pin creations and control
// requests through a started filter device over the audio device model.
// Every buffer is allocated at exactly the length the request gives, so the
// address sanitizer sees any byte read or written outside it; besides no
// crash and no sanitizer report, a stream header must leave with the
// lengths it came with, the I/O system's rules must hold and every pool
// block must be released.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "filter/filter_driver.h"
#include "filter/interception_hooks.h"
#include "filter/ks_layouts.h"
#include "shared/control_codes.h"
#include "sim/audio/sim_audio_device.h"
#include "sim/audio/sim_ks_client.h"
#include "sim/kernel/sim_io.h"
#include "sim/kernel/sim_kernel.h"
#include "sim/user/sim_user_mode.h"

namespace {

constexpr char16_t kServiceKey[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Kalvex";
constexpr char16_t kMicKey[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\MediaCategories\\{185FEDED-9905-11D1-95A9-00C04FB925D3}";
constexpr int kMaxOperations = 48;

void require(bool holds, const char* what) {
  if (holds) return;
  fprintf(stderr, "fuzz check failed: %s\n", what);
  for (const std::string& line : sim::violationLog()) fprintf(stderr, "  %s\n", line.c_str());
  abort();
}

// The fuzzer's bytes, consumed front to back; zeros once they run out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u16() { return static_cast<uint32_t>(byte()) | static_cast<uint32_t>(byte()) << 8; }
  uint32_t u32() { return u16() | u16() << 16; }
  void fill(uint8_t* to, size_t n) {
    for (size_t i = 0; i < n; i++) to[i] = byte();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

const ks::GUID kSets[] = {ks::KSPROPSETID_Connection, ks::KSPROPSETID_Pin, ks::KSPROPSETID_Audio,
                          ks::KSPROPSETID_Topology};
const ks::GUID kFormatGuids[] = {ks::KSDATAFORMAT_TYPE_AUDIO, ks::KSDATAFORMAT_SUBTYPE_PCM,
                                 ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, ks::KSDATAFORMAT_SPECIFIER_DSOUND};
const uint32_t kControlCodes[] = {IOCTL_EC_GET_SETTINGS,    IOCTL_EC_SET_SETTINGS,    IOCTL_EC_GET_STATUS,
                                  IOCTL_ARRAY_GET_SETTINGS, IOCTL_ARRAY_SET_SETTINGS, IOCTL_ARRAY_GET_STATUS};

// Writes GUIDs the driver knows at the 16-byte slots the input asks for, so
// that the fuzzer reaches the formats and ranges without guessing them.
void plantGuids(Input& in, std::vector<uint8_t>& bytes) {
  int plants = in.byte() % 4;
  for (int i = 0; i < plants && bytes.size() >= 16; i++) {
    size_t slot = (in.byte() % (bytes.size() / 16 + 1)) * 16;
    if (slot + 16 > bytes.size()) continue;
    memcpy(bytes.data() + slot, &kFormatGuids[in.byte() % 4], 16);
  }
}

struct Stack {
  std::unique_ptr<FilterDriver> filter;
  std::unique_ptr<sim::AudioDriver> audio;
  sim::AudioDeviceModel model;
  kernel::DeviceObject* pdo = nullptr;
  std::unique_ptr<sim::KsClient> mixer;
  kernel::FileObject* pins[3] = {};  // capture, render, a third pin
  sim::UserHandle control;
  uint32_t extraDataUsed = 0;  // what the device adds to a read's DataUsed
};

kernel::FileObject* chooseFile(Input& in, Stack& s) {
  switch (in.byte() % 5) {
    case 0:
      return s.mixer->filterHandle();
    case 1:
      return s.pins[0];
    case 2:
      return s.pins[1];
    case 3:
      return s.pins[2];
    default:
      return nullptr;
  }
}

kernel::RequestorMode chooseMode(Input& in) {
  return in.byte() % 4 == 0 ? kernel::RequestorMode::User : kernel::RequestorMode::Kernel;
}

void propertyRequest(Input& in, Stack& s) {
  uint32_t inputLength = in.byte() % 160;
  std::vector<uint8_t> input(inputLength);
  in.fill(input.data(), input.size());
  uint8_t setChoice = in.byte();
  if (inputLength >= 16 && setChoice % 5 != 4) memcpy(input.data(), &kSets[setChoice % 5], 16);
  if (inputLength >= 20 && setChoice & 0x80) {
    uint32_t id = in.byte() % 6;
    memcpy(input.data() + 16, &id, 4);
  }
  if (input.size() > 32) {
    std::vector<uint8_t> tail(input.begin() + 32, input.end());
    plantGuids(in, tail);
    std::copy(tail.begin(), tail.end(), input.begin() + 32);
  }
  uint32_t dataLength = in.u16() % 400;
  std::vector<uint8_t> data(dataLength);
  in.fill(data.data(), data.size());
  plantGuids(in, data);

  sim::RequestShape shape;
  shape.major = kernel::kIrpMjDeviceControl;
  shape.ioControlCode = kIoctlKsProperty;
  shape.requestorMode = chooseMode(in);
  shape.file = chooseFile(in, s);
  shape.type3InputBuffer = input.empty() ? nullptr : input.data();
  shape.inputLength = inputLength;
  bool inSystemBuffer = in.byte() % 3 == 0;
  void* dataBuffer = data.empty() ? nullptr : data.data();
  (inSystemBuffer ? shape.systemBuffer : shape.userBuffer) = dataBuffer;
  shape.outputLength = dataLength;
  sim::sendRequest(sim::topOfStack(s.pdo), shape);
}

void streamRequest(Input& in, Stack& s) {
  bool read = in.byte() % 2 == 0;
  uint32_t bytes = in.u16() % 4096;
  std::vector<uint8_t> data(bytes);
  in.fill(data.data(), std::min<size_t>(data.size(), 64));
  std::vector<uint8_t> headers(sizeof(ks::KSSTREAM_HEADER) + 8, 0);
  ks::KSSTREAM_HEADER header{};
  header.Size = sizeof header;
  header.FrameExtent = bytes == 0 ? 0 : in.u16() % (bytes + 1);  // the requester tells the truth about its buffer
  header.DataUsed = in.byte() % 4 == 0 ? in.u32() : in.u16() % (header.FrameExtent + 1);
  header.Data = data.empty() || in.byte() % 16 == 0 ? nullptr : data.data();
  memcpy(headers.data(), &header, sizeof header);
  s.extraDataUsed = in.byte() % 8 == 0 ? in.byte() : 0;

  sim::RequestShape shape;
  shape.major = kernel::kIrpMjDeviceControl;
  shape.ioControlCode = read ? kIoctlKsReadStream : kIoctlKsWriteStream;
  shape.requestorMode = chooseMode(in);
  shape.file = chooseFile(in, s);
  shape.outputLength = in.byte() % 8 == 0 ? in.byte() % headers.size() : sizeof header;
  (in.byte() % 3 == 0 ? shape.systemBuffer : shape.userBuffer) = headers.data();
  sim::sendRequest(sim::topOfStack(s.pdo), shape);

  ks::KSSTREAM_HEADER after;
  memcpy(&after, headers.data(), sizeof after);
  require(after.FrameExtent == header.FrameExtent && after.Data == header.Data, "stream header lengths changed");
  if (!read) require(after.DataUsed == header.DataUsed, "a write's DataUsed changed");
}

void pinCreation(Input& in, Stack& s) {
  std::vector<uint8_t> connect(sizeof(ks::KSPIN_CONNECT) + 96);
  in.fill(connect.data(), connect.size());
  uint32_t pinId = in.byte() % 4;
  memcpy(connect.data() + offsetof(ks::KSPIN_CONNECT, PinId), &pinId, 4);
  std::vector<uint8_t> format(connect.begin() + sizeof(ks::KSPIN_CONNECT), connect.end());
  plantGuids(in, format);
  std::copy(format.begin(), format.end(), connect.begin() + sizeof(ks::KSPIN_CONNECT));
  kernel::Status status = 0;
  kernel::FileObject* pin = s.mixer->open(&connect, status);
  if (pin != nullptr) s.pins[2] = pin;
}

void controlRequest(Input& in, Stack& s) {
  uint8_t choice = in.byte();
  uint32_t code = choice % 8 < 6 ? kControlCodes[choice % 8] : in.u32();
  uint32_t inputLength = in.byte() % 80;
  uint32_t outputLength = in.byte() % 80;
  std::vector<uint8_t> input(inputLength), output(outputLength);
  in.fill(input.data(), input.size());
  sim::deviceIoControl(s.control, code, input.empty() ? nullptr : input.data(), inputLength,
                       output.empty() ? nullptr : output.data(), outputLength);
}

void build(Stack& s, Input& in) {
  sim::setRegistryString(kMicKey, u"Name", u"Microphone Volume");
  s.filter = std::make_unique<FilterDriver>();
  s.audio = std::make_unique<sim::AudioDriver>();
  kernel::DriverObject* kalvex = sim::createDriverObject("filter");
  std::u16string path = kServiceKey;
  kernel::UnicodeString registryPath{static_cast<uint16_t>(path.size() * 2), static_cast<uint16_t>(path.size() * 2),
                                     path.data()};
  filterDriverEntry(*s.filter, kalvex, registryPath);
  s.pdo = s.audio->addInstance();
  require(sim::addDevice(kalvex, s.pdo) == kernel::kStatusSuccess, "add device");
  require(sim::sendPnp(s.pdo, kernel::kIrpMnStartDevice).status == kernel::kStatusSuccess, "start");
  s.model.setRanges(2, {{2, 8, 32, 8000, 48000}});
  s.model.setNodeName(3, u"Microphone Volume");
  s.model.setCaptureSource([&s](uint8_t* data, uint32_t bytes, const sim::WaveFormat&) {
    for (uint32_t i = 0; i < bytes; i++) data[i] = static_cast<uint8_t>(i * 37);
    return bytes + s.extraDataUsed;
  });
  s.audio->setModel(&s.model);
  s.mixer = std::make_unique<sim::KsClient>(s.pdo);
  require(sim::openFile(u"\\\\.\\Kalvex", s.control) == kernel::kStatusSuccess, "open the control device");

  // Settings and both pins in formats the input picks.
  EcSettings settings = kInitialEcSettings;
  settings.enable = in.byte() % 4 != 0;
  settings.monitor = 1;
  settings.noiseCancel = in.byte() % 2;
  settings.swapChannels = in.byte() % 2;
  settings.maxRate = 48000;
  sim::deviceIoControl(s.control, IOCTL_EC_SET_SETTINGS, &settings, sizeof settings, nullptr, 0);
  const uint32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
  const uint16_t widths[] = {8, 16, 32, 16};
  sim::WaveFormat capture{static_cast<uint16_t>(1 + in.byte() % 2), rates[in.byte() % 7], widths[in.byte() % 4]};
  sim::WaveFormat render{static_cast<uint16_t>(1 + in.byte() % 2), capture.rate * (1 + in.byte() % 2), widths[in.byte() % 4]};
  if (render.rate > 48000) render.rate = capture.rate;
  s.pins[0] = s.mixer->createPin(2, capture);
  s.pins[1] = s.mixer->createPin(0, render);
}

void tearDown(Stack& s) {
  s.mixer.reset();
  if (s.control.file != nullptr) sim::closeHandle(s.control);
  s.audio->finishPending();
  destroyEngine(s.filter->state);
  sim::setCurrentIrql(kernel::kPassiveLevel);
  require(sim::violationLog().empty(), "rules of the I/O system broken");
  s.audio.reset();
  sim::resetIo();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::resetIo();
  sim::resetCounters();
  int64_t liveBefore = sim::poolCounters().liveBlocks;
  {
    Stack s;
    Input in(data, size);
    build(s, in);
    for (int op = 0; op < kMaxOperations && !in.empty(); op++) {
      switch (in.byte() % 6) {
        case 0:
          propertyRequest(in, s);
          break;
        case 1:
        case 2:
          streamRequest(in, s);
          break;
        case 3:
          controlRequest(in, s);
          break;
        case 4:
          pinCreation(in, s);
          break;
        default:
          sim::setCurrentIrql(in.byte() % 2 == 0 ? kernel::kPassiveLevel : kernel::kDispatchLevel);
          break;
      }
    }
    tearDown(s);
  }
  require(sim::poolCounters().liveBlocks == liveBefore, "pool blocks left behind");
  return 0;
}
