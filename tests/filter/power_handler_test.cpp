// Power requests pass down untouched, each letting the next one start.
#include "filter/power_handler.h"

#include "filter_fixture.h"

namespace {

class PowerHandler : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    load();
    pdo = startedInstance();
    sim::takeCallLog();
  }
  kernel::DeviceObject* pdo = nullptr;
};

TEST_F(PowerHandler, PassesDownUnderTheRemoveLock) {
  struct Case {
    const char* name;
    uint8_t minor;
    sim::AudioReply reply;
  };
  const Case cases[] = {
      {"set power", kernel::kIrpMnSetPower, {}},
      {"query power refused", kernel::kIrpMnQueryPower, {kernel::kStatusUnsuccessful}},
      {"set power later", kernel::kIrpMnSetPower, {kernel::kStatusSuccess, 0, true, 10}},
  };
  for (const Case& c : cases) {
    audio->setReply(kernel::kIrpMjPower, c.reply);
    sim::RequestResult r = sim::sendPower(pdo, c.minor);
    EXPECT_EQ(r.status, c.reply.status) << c.name;
    std::string what = sim::describeRequest(kernel::kIrpMjPower, c.minor, 0);
    const std::vector<std::string> log = {
        "filter1 <- " + what,
        "filter1 starts the next power request",
        "audio1 <- " + what,
        "audio1 starts the next power request",
        "audio1 completes " + what + ": " + sim::hexStatus(c.reply.status),
    };
    EXPECT_EQ(sim::takeCallLog(), log) << c.name;
    EXPECT_EQ(sim::removeLockInfo(extensionOn(pdo).removeLock).outstanding, 0) << c.name;
  }
}

TEST_F(PowerHandler, ARemovedLockCompletesTheRequestHere) {
  FilterExtension& device = extensionOn(pdo);
  kernel::DeviceObject* filterDevice = device.self;
  // The remove has begun: the lock refuses.
  int tag = 0;
  ASSERT_EQ(kernel::acquireRemoveLock(device.removeLock, &tag), kernel::kStatusSuccess);
  kernel::releaseRemoveLockAndWait(device.removeLock, &tag);
  sim::takeCallLog();
  sim::RequestResult r = sim::sendPower(pdo, kernel::kIrpMnSetPower);
  EXPECT_EQ(r.status, kernel::kStatusDeletePending);
  const std::vector<std::string> log = {
      "filter1 <- POWER SET_POWER",
      "filter1 starts the next power request",
      "filter1 completes POWER SET_POWER: 0xC0000056",
  };
  EXPECT_EQ(sim::takeCallLog(), log);
  // The stack goes away without the filter's remove handling.
  kernel::detachDevice(pdo);
  kernel::deleteDevice(filterDevice);
}

}  // namespace
