#include "loaded_driver.h"

#include <string>

#include "sim/kernel/sim_io.h"
#include "sim/kernel/sim_kernel.h"

namespace {

constexpr char16_t kServiceKey[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Kalvex";
constexpr char16_t kControlPath[] = u"\\\\.\\Kalvex";

// The device delivers what the tool reads from WAV files: 1 or 2 channels,
// 8 to 32 bits, 8000 to 48000 Hz, on both factories.
constexpr sim::AudioRange kDeviceRange{2, 8, 32, 8000, 48000};

}  // namespace

LoadedDriver::LoadedDriver() {
  sim::resetIo();
  audio_ = std::make_unique<sim::AudioDriver>();
  kalvex_ = sim::createDriverObject("filter");
  std::u16string path = kServiceKey;
  auto bytes = static_cast<uint16_t>(path.size() * 2);
  kernel::UnicodeString registryPath{bytes, bytes, path.data()};
  filterDriverEntry(filter_, kalvex_, registryPath);
  model_.setRanges(model_.capturePinId(), {kDeviceRange});
  model_.setRanges(model_.renderPinId(), {kDeviceRange});
  audioDevice_ = audio_->addInstance();
  started_ = sim::addDevice(kalvex_, audioDevice_) == kernel::kStatusSuccess &&
             sim::sendPnp(audioDevice_, kernel::kIrpMnStartDevice).status == kernel::kStatusSuccess &&
             sim::openFile(kControlPath, control_) == kernel::kStatusSuccess;
  audio_->setModel(&model_);
  mixer_ = std::make_unique<sim::KsClient>(audioDevice_);
}

LoadedDriver::~LoadedDriver() {
  mixer_.reset();  // closes the pins and the filter handle it still holds
  if (control_.file != nullptr) sim::closeHandle(control_);
  destroyEngine(filter_.state);
  sim::sendPnp(audioDevice_, kernel::kIrpMnRemoveDevice);
  audio_->finishPending();
  audio_->setModel(nullptr);
  audio_.reset();
  sim::resetIo();
}

bool LoadedDriver::control(uint32_t code, const void* input, uint32_t inputLength, void* output,
                           uint32_t outputLength) {
  return sim::deviceIoControl(control_, code, input, inputLength, output, outputLength).status ==
         kernel::kStatusSuccess;
}

kernel::FileObject* LoadedDriver::openPin(uint32_t pinId, const sim::AudioRange& proposed, sim::WaveFormat& chosen) {
  std::vector<sim::AudioRange> ranges;
  if (mixer_->dataRanges(pinId, ranges) != kernel::kStatusSuccess) return nullptr;
  if (mixer_->intersect(pinId, {proposed}, chosen) != kernel::kStatusSuccess) return nullptr;
  kernel::FileObject* pin = mixer_->createPin(pinId, chosen);
  if (pin == nullptr) return nullptr;
  if (mixer_->setState(pin, ks::KSSTATE_RUN) != kernel::kStatusSuccess) {
    mixer_->close(pin);
    return nullptr;
  }
  return pin;
}

void LoadedDriver::closePin(kernel::FileObject*& pin) {
  if (pin == nullptr) return;
  mixer_->setState(pin, ks::KSSTATE_STOP);
  mixer_->close(pin);
  pin = nullptr;
}
