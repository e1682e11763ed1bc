#include "sim_audio_device.h"

#include <chrono>
#include <string>

#include "kernel/unicode_string.h"
#include "sim/kernel/sim_io.h"

namespace sim {

AudioDriver::AudioDriver(const std::string& label) : driver_(createDriverObject(label)), label_(label) {
  for (uint8_t major = 0; major < kernel::kMajorFunctionCount; major++) {
    kernel::setDispatchRoutine(driver_, major, dispatch);
  }
  kernel::setDriverContext(driver_, this);
  // What a function driver does with the plug-and-play requests it knows;
  // the rest leave with the status they came with.
  AudioReply keep;
  keep.keepStatus = true;
  majorReplies_[kernel::kIrpMjPnp] = keep;
  for (uint8_t minor : {kernel::kIrpMnStartDevice, kernel::kIrpMnQueryRemoveDevice, kernel::kIrpMnRemoveDevice,
                        kernel::kIrpMnCancelRemoveDevice, kernel::kIrpMnStopDevice, kernel::kIrpMnQueryStopDevice,
                        kernel::kIrpMnCancelStopDevice, kernel::kIrpMnSurpriseRemoval,
                        kernel::kIrpMnDeviceUsageNotification}) {
    pnpReplies_[minor] = AudioReply{};
  }
}

AudioDriver::~AudioDriver() { finishPending(); }

kernel::DeviceObject* AudioDriver::addInstance(uint32_t flags, uint32_t characteristics, uint32_t type) {
  std::string narrowName = "\\Device\\Sim" + label_ + std::to_string(++instances_);
  narrowName[11] = static_cast<char>(narrowName[11] - 'a' + 'A');
  std::u16string name(narrowName.begin(), narrowName.end());
  kernel::UnicodeString text{static_cast<uint16_t>(name.size() * 2), static_cast<uint16_t>(name.size() * 2),
                             name.data()};
  kernel::DeviceObject* device = nullptr;
  kernel::createDevice(driver_, 16, &text, type, characteristics, false, device);
  device->label = label_ + std::to_string(instances_);
  device->flags = flags;
  return device;
}

void AudioDriver::setReply(uint8_t major, const AudioReply& reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  majorReplies_[major] = reply;
}

void AudioDriver::setPnpReply(uint8_t minor, const AudioReply& reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  pnpReplies_[minor] = reply;
}

void AudioDriver::setControlReply(uint32_t ioControlCode, const AudioReply& reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  controlReplies_[ioControlCode] = reply;
}

int AudioDriver::received(uint8_t major) const { return received_[major].load(); }

void AudioDriver::waitUntilReceived(uint8_t major, int count) const {
  for (int seen = received_[major].load(); seen < count; seen = received_[major].load()) {
    received_[major].wait(seen);
  }
}

void AudioDriver::finishPending() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    threads.swap(completions_);
  }
  for (std::thread& t : threads) t.join();
}

AudioReply AudioDriver::replyFor(uint8_t major, uint8_t minor, uint32_t code, kernel::Status incoming) const {
  std::lock_guard<std::mutex> hold(mutex_);
  AudioReply reply;
  if (auto it = majorReplies_.find(major); it != majorReplies_.end()) reply = it->second;
  if (major == kernel::kIrpMjPnp) {
    if (auto it = pnpReplies_.find(minor); it != pnpReplies_.end()) reply = it->second;
  }
  if (major == kernel::kIrpMjDeviceControl || major == kernel::kIrpMjInternalDeviceControl) {
    if (auto it = controlReplies_.find(code); it != controlReplies_.end()) reply = it->second;
  }
  if (reply.keepStatus) reply.status = incoming;
  return reply;
}

kernel::Status AudioDriver::dispatch(kernel::DeviceObject* device, kernel::Irp* irp) {
  auto& self = *static_cast<AudioDriver*>(kernel::driverContext(kernel::driverObjectOf(device)));
  kernel::StackLocation* stack = kernel::currentStackLocation(irp);
  uint8_t major = kernel::majorFunction(stack);
  uint8_t minor = kernel::minorFunction(stack);
  AudioReply reply = self.replyFor(major, minor, kernel::ioControlCode(stack), kernel::requestStatus(irp));
  self.received_[major]++;
  self.received_[major].notify_all();
  if (AudioDeviceModel* model = self.model_.load()) {
    kernel::Status status = kernel::kStatusSuccess;
    uintptr_t information = 0;
    if (model->serve(irp, stack, status, information)) {
      kernel::setRequestStatus(irp, status);
      kernel::setRequestInformation(irp, information);
      kernel::completeRequest(irp);
      return status;
    }
  }

  if (major == kernel::kIrpMjPower) kernel::startNextPowerIrp(irp);
  bool removes = major == kernel::kIrpMjPnp && minor == kernel::kIrpMnRemoveDevice;
  auto finish = [irp, reply, device, removes] {
    if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
    kernel::setRequestStatus(irp, reply.status);
    kernel::setRequestInformation(irp, reply.information);
    kernel::completeRequest(irp);
    // The device is gone with its remove; the object lives while the filter
    // above is still attached.
    if (removes) kernel::deleteDevice(device);
  };
  if (reply.pending && !removes) {
    kernel::markPending(irp);
    std::lock_guard<std::mutex> hold(self.mutex_);
    self.completions_.emplace_back(finish);
    return kernel::kStatusPending;
  }
  finish();
  return reply.status;
}

}  // namespace sim
