#pragma once
// A loaded, started filter over the audio device model, with the system's
// mixer as its kernel-mode requester and the control device for settings
// and status, as the application uses it.
#include <memory>
#include <string>
#include <vector>

#include "filter/filter_driver.h"
#include "filter_fixture.h"
#include "shared/control_codes.h"
#include "sim/audio/sim_audio_model.h"
#include "sim/audio/sim_ks_client.h"

inline const std::u16string kMediaCategories =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\MediaCategories\\";
inline const std::u16string kMicVolumeKey = kMediaCategories + u"{185FEDED-9905-11D1-95A9-00C04FB925D3}";
inline const std::u16string kMasterVolumeKey = kMediaCategories + u"{185FEDE3-9905-11D1-95A9-00C04FB925D3}";

class KsFixture : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    sim::setRegistryString(kMicVolumeKey, u"Name", u"Microphone Volume");
    sim::setRegistryString(kMasterVolumeKey, u"Name", u"Master Volume");
  }
  void TearDown() override {
    clients_.clear();
    if (control_.file != nullptr) sim::closeHandle(control_);
    FilterFixture::TearDown();
  }

  // Loads the driver (after the test's registry values) and starts one
  // audio device instance served by `model`.
  void start() {
    load();
    pdo = startedInstance();
    audio->setModel(&model);
    mixer = client();
  }
  sim::KsClient* client(kernel::RequestorMode mode = kernel::RequestorMode::Kernel, kernel::DeviceObject* device = nullptr) {
    clients_.push_back(std::make_unique<sim::KsClient>(device != nullptr ? device : pdo, mode));
    return clients_.back().get();
  }

  // The application's side: the records through the control device.
  void writeSettings(const EcSettings& settings) {
    openControl();
    EcSettings copy = settings;
    sim::UserIoResult r = sim::deviceIoControl(control_, IOCTL_EC_SET_SETTINGS, &copy, sizeof copy, nullptr, 0);
    ASSERT_EQ(r.status, kernel::kStatusSuccess);
  }
  EcStatus readStatus() {
    openControl();
    EcStatus status{};
    sim::deviceIoControl(control_, IOCTL_EC_GET_STATUS, nullptr, 0, &status, sizeof status);
    return status;
  }
  static EcSettings enabled(uint32_t enable = 1) {
    EcSettings s = kInitialEcSettings;
    s.enable = enable;
    s.monitor = 1;
    s.noiseCancel = 0;
    s.maxRate = 48000;
    return s;
  }

  // Both pins opened as the audio stack does, with the negotiation the filter steers.
  kernel::FileObject* openPin(uint32_t pinId, uint16_t channels, uint32_t rate, uint16_t bits,
                              sim::WaveFormat* chosen = nullptr) {
    std::vector<sim::AudioRange> ranges;
    EXPECT_EQ(mixer->dataRanges(pinId, ranges), kernel::kStatusSuccess);
    sim::WaveFormat format{};
    EXPECT_EQ(mixer->intersect(pinId, {{channels, bits, bits, 8000, rate}}, format), kernel::kStatusSuccess);
    if (chosen != nullptr) *chosen = format;
    kernel::FileObject* pin = mixer->createPin(pinId, format);
    EXPECT_NE(pin, nullptr);
    if (pin != nullptr) {
      EXPECT_EQ(mixer->setState(pin, ks::KSSTATE_RUN), kernel::kStatusSuccess);
    }
    return pin;
  }

  sim::AudioDeviceModel model;
  kernel::DeviceObject* pdo = nullptr;
  sim::KsClient* mixer = nullptr;

 private:
  void openControl() {
    if (control_.file == nullptr) {
      ASSERT_EQ(sim::openFile(kControlPath, control_), kernel::kStatusSuccess);
    }
  }
  std::vector<std::unique_ptr<sim::KsClient>> clients_;
  sim::UserHandle control_;
};
