#pragma once
// A loaded driver over the simulated kernel, with a simulated audio function
// driver below it. Each test gets a fresh driver state and a fresh I/O
// system, and must leave the driver's pool, the device objects and the
// rules of the I/O system as it found them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "filter/filter_driver.h"
#include "sim/audio/sim_audio_device.h"
#include "sim/kernel/sim_io.h"
#include "sim/kernel/sim_kernel.h"
#include "sim/user/sim_user_mode.h"

inline constexpr char16_t kServiceKey[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Kalvex";
inline constexpr char16_t kControlPath[] = u"\\\\.\\Kalvex";

class FilterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetIo();
    sim::resetCounters();
    liveBlocksBefore_ = sim::poolCounters().liveBlocks;
    filter = std::make_unique<FilterDriver>();
    audio = std::make_unique<sim::AudioDriver>();
    kalvex = sim::createDriverObject("filter");
  }

  void TearDown() override {
    audio->finishPending();
    destroyEngine(filter->state);
    sim::setCurrentIrql(kernel::kPassiveLevel);
    EXPECT_EQ(sim::violationLog(), std::vector<std::string>{}) << "rules of the I/O system broken";
    EXPECT_EQ(sim::poolCounters().liveBlocks, liveBlocksBefore_) << "pool blocks left behind";
    audio.reset();
    sim::resetIo();
  }

  void load() {
    std::u16string path = kServiceKey;
    kernel::UnicodeString registryPath{static_cast<uint16_t>(path.size() * 2), static_cast<uint16_t>(path.size() * 2),
                                       path.data()};
    ASSERT_EQ(filterDriverEntry(*filter, kalvex, registryPath), kernel::kStatusSuccess);
  }

  // A new audio device instance with our filter added on top of it.
  kernel::DeviceObject* addInstance() {
    kernel::DeviceObject* pdo = audio->addInstance();
    EXPECT_EQ(sim::addDevice(kalvex, pdo), kernel::kStatusSuccess);
    return pdo;
  }
  kernel::DeviceObject* startedInstance() {
    kernel::DeviceObject* pdo = addInstance();
    EXPECT_EQ(sim::sendPnp(pdo, kernel::kIrpMnStartDevice).status, kernel::kStatusSuccess);
    return pdo;
  }
  static kernel::DeviceObject* filterDeviceOn(kernel::DeviceObject* pdo) { return kernel::attachedDevice(pdo); }
  static FilterExtension& extensionOn(kernel::DeviceObject* pdo) { return *filterExtensionOf(filterDeviceOn(pdo)); }

  sim::RequestResult pnp(kernel::DeviceObject* pdo, uint8_t minor) { return sim::sendPnp(pdo, minor); }

  // A kernel-mode request sent straight to `device`.
  sim::RequestResult send(kernel::DeviceObject* device, uint8_t major, uint32_t code = 0, void* systemBuffer = nullptr,
                          uint32_t inputLength = 0, uint32_t outputLength = 0) {
    sim::RequestShape shape;
    shape.major = major;
    shape.ioControlCode = code;
    shape.systemBuffer = systemBuffer;
    shape.inputLength = inputLength;
    shape.outputLength = outputLength;
    return sim::sendRequest(device, shape);
  }

  std::unique_ptr<FilterDriver> filter;
  std::unique_ptr<sim::AudioDriver> audio;
  kernel::DriverObject* kalvex = nullptr;

 private:
  int64_t liveBlocksBefore_ = 0;
};
