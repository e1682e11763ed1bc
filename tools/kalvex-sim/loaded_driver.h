#pragma once
// The notebook's kernel: Kalvex loaded over the simulated kernel, its filter
// device on top of one audio device instance served by the audio device
// model, started as plug and play would; the system's mixer as the
// kernel-mode requester of that device; and the control application's
// handle to "\\.\Kalvex".
#include <cstdint>
#include <memory>

#include "filter/filter_driver.h"
#include "sim/audio/sim_audio_device.h"
#include "sim/audio/sim_audio_model.h"
#include "sim/audio/sim_ks_client.h"
#include "sim/user/sim_user_mode.h"

class LoadedDriver {
 public:
  LoadedDriver();
  // Stops and closes what is still open, removes the device and unloads.
  ~LoadedDriver();
  LoadedDriver(const LoadedDriver&) = delete;
  LoadedDriver& operator=(const LoadedDriver&) = delete;

  bool started() const { return started_; }
  DriverState& state() { return filter_.state; }
  sim::AudioDeviceModel& device() { return model_; }
  sim::KsClient& mixer() { return *mixer_; }

  // A control request as the application sends it, through the control
  // device; false when it failed.
  bool control(uint32_t code, const void* input, uint32_t inputLength, void* output, uint32_t outputLength);

  // A pin as the audio stack opens one: the factory's data ranges, a data
  // intersection with `proposed` (which the filter may cap on the way down
  // and adjust on the way up), the creation in the chosen format and the
  // run state. None when a step failed; `chosen` is the format the pin got.
  kernel::FileObject* openPin(uint32_t pinId, const sim::AudioRange& proposed, sim::WaveFormat& chosen);
  // The stop state (which releases the tracked pin and the engine), then the close.
  void closePin(kernel::FileObject*& pin);

 private:
  FilterDriver filter_{};
  sim::AudioDeviceModel model_;
  std::unique_ptr<sim::AudioDriver> audio_;  // made after the I/O system is reset
  std::unique_ptr<sim::KsClient> mixer_;
  kernel::DriverObject* kalvex_ = nullptr;
  kernel::DeviceObject* audioDevice_ = nullptr;
  sim::UserHandle control_;
  bool started_ = false;
};
