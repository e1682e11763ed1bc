#pragma once
// A simulated audio function driver: the devices our filter sits on. Each
// instance completes what reaches it as a real function driver does, and a
// test decides how: the status, the bytes returned, whether the request is
// held pending, and how long the completion takes.
#include <stdint.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kernel/device_object.h"
#include "kernel/io_request.h"
#include "sim_audio_model.h"

namespace sim {

struct AudioReply {
  kernel::Status status = kernel::kStatusSuccess;
  uintptr_t information = 0;
  bool pending = false;  // return STATUS_PENDING and complete from another thread
  int delayMs = 0;       // before completing (inside the dispatch routine unless pending)
  bool keepStatus = false;  // complete with the status the request came with
};

class AudioDriver {
 public:
  // Devices are named "\Device\Sim<Label><n>" and logged as <label><n>.
  explicit AudioDriver(const std::string& label = "audio");
  ~AudioDriver();  // waits for every pending completion
  AudioDriver(const AudioDriver&) = delete;
  AudioDriver& operator=(const AudioDriver&) = delete;

  // A new device instance: "\Device\SimAudio<n>", labelled audio<n>, for the default label.
  kernel::DeviceObject* addInstance(uint32_t flags = kernel::kDoBufferedIo | kernel::kDoPowerPagable,
                                    uint32_t characteristics = 0, uint32_t type = kFileDeviceKs);

  // How requests of a major function (or a plug-and-play minor function, or
  // a control code) are answered from now on; the most specific wins.
  void setReply(uint8_t major, const AudioReply& reply);
  void setPnpReply(uint8_t minor, const AudioReply& reply);
  void setControlReply(uint32_t ioControlCode, const AudioReply& reply);

  // Requests of `major` that have reached the driver so far.
  int received(uint8_t major) const;
  void waitUntilReceived(uint8_t major, int count) const;
  // Waits for the completions still held pending.
  void finishPending();

  kernel::DriverObject* driverObject() const { return driver_; }

  // From now on the model serves pin creation, close and the
  // kernel-streaming requests (none: the replies above serve everything).
  void setModel(AudioDeviceModel* model) { model_.store(model); }

  static constexpr uint32_t kFileDeviceKs = 0x2F;

 private:
  static kernel::Status dispatch(kernel::DeviceObject* device, kernel::Irp* irp);
  AudioReply replyFor(uint8_t major, uint8_t minor, uint32_t code, kernel::Status incoming) const;

  kernel::DriverObject* driver_;
  mutable std::mutex mutex_;
  std::map<uint8_t, AudioReply> majorReplies_;
  std::map<uint8_t, AudioReply> pnpReplies_;
  std::map<uint32_t, AudioReply> controlReplies_;
  std::atomic<int> received_[kernel::kMajorFunctionCount] = {};
  std::vector<std::thread> completions_;
  std::atomic<AudioDeviceModel*> model_{nullptr};
  int instances_ = 0;
  std::string label_;
};

}  // namespace sim
