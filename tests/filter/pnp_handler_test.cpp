// Plug and play: every row of the table as (state, minor function) to
// (state, what the audio device saw, status), then the start, remove and
// usage-notification sequences as the simulated kernel recorded them.
#include "filter/pnp_handler.h"

#include <chrono>
#include <thread>

#include "filter_fixture.h"
#include "kernel/io_request.h"

namespace {

class PnpHandler : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    load();
    pdo = addInstance();
    sim::takeCallLog();
  }
  kernel::DeviceObject* pdo = nullptr;
};

TEST_F(PnpHandler, EveryRowOfTheTable) {
  struct Case {
    const char* name;
    int32_t state, previous;  // before
    uint8_t minor;
    int32_t newState, newPrevious;
    kernel::Status status;  // as the request completes
  };
  const kernel::Status ok = kernel::kStatusSuccess;
  const Case cases[] = {
      {"query remove", kPnpStarted, kPnpNotStarted, kernel::kIrpMnQueryRemoveDevice, kPnpRemovePending, kPnpStarted, ok},
      {"cancel remove restores", kPnpRemovePending, kPnpStarted, kernel::kIrpMnCancelRemoveDevice, kPnpStarted,
       kPnpStarted, ok},
      {"cancel remove without a query", kPnpStarted, kPnpNotStarted, kernel::kIrpMnCancelRemoveDevice, kPnpStarted,
       kPnpNotStarted, ok},
      {"query stop", kPnpStarted, kPnpNotStarted, kernel::kIrpMnQueryStopDevice, kPnpStopPending, kPnpStarted, ok},
      {"cancel stop restores", kPnpStopPending, kPnpStarted, kernel::kIrpMnCancelStopDevice, kPnpStarted,
       kPnpStarted, ok},
      {"cancel stop without a query", kPnpStarted, kPnpNotStarted, kernel::kIrpMnCancelStopDevice, kPnpStarted,
       kPnpNotStarted, ok},
      {"cancel stop while a remove is pending", kPnpRemovePending, kPnpStarted, kernel::kIrpMnCancelStopDevice,
       kPnpRemovePending, kPnpStarted, ok},
      {"stop", kPnpStopPending, kPnpStarted, kernel::kIrpMnStopDevice, kPnpStopped, kPnpStopPending, ok},
      {"surprise removal", kPnpStarted, kPnpNotStarted, kernel::kIrpMnSurpriseRemoval, kPnpSurpriseRemoved,
       kPnpStarted, ok},
      // A request nobody handles keeps the status it came with.
      {"query capabilities", kPnpStarted, kPnpNotStarted, kernel::kIrpMnQueryCapabilities, kPnpStarted,
       kPnpNotStarted, kernel::kStatusNotSupported},
      {"query device relations", kPnpStopped, kPnpStarted, kernel::kIrpMnQueryDeviceRelations, kPnpStopped,
       kPnpStarted, kernel::kStatusNotSupported},
  };
  FilterExtension& device = extensionOn(pdo);
  for (const Case& c : cases) {
    device.pnpState = c.state;
    device.previousPnpState = c.previous;
    sim::RequestResult r = pnp(pdo, c.minor);
    EXPECT_EQ(device.pnpState, c.newState) << c.name;
    EXPECT_EQ(device.previousPnpState, c.newPrevious) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
    std::string what = sim::describeRequest(kernel::kIrpMjPnp, c.minor, 0);
    const std::vector<std::string> passedDown = {
        "filter1 <- " + what,
        "audio1 <- " + what,
        "audio1 completes " + what + ": " + sim::hexStatus(c.status),
    };
    EXPECT_EQ(sim::takeCallLog(), passedDown) << c.name << ": skipped down to the audio device";
    EXPECT_EQ(sim::removeLockInfo(device.removeLock).outstanding, 0) << c.name;
  }
}

TEST_F(PnpHandler, AQueryFailedBelowStillRecordsThePendingState) {
  // The state is bookkeeping for the cancel that follows a failed query.
  audio->setPnpReply(kernel::kIrpMnQueryStopDevice, sim::AudioReply{kernel::kStatusUnsuccessful});
  FilterExtension& device = extensionOn(pdo);
  device.pnpState = kPnpStarted;
  EXPECT_EQ(pnp(pdo, kernel::kIrpMnQueryStopDevice).status, kernel::kStatusUnsuccessful);
  EXPECT_EQ(device.pnpState, kPnpStopPending);
  pnp(pdo, kernel::kIrpMnCancelStopDevice);
  EXPECT_EQ(device.pnpState, kPnpStarted);
}

TEST_F(PnpHandler, StartWaitsForTheAudioDeviceAndTakesItsStatus) {
  struct Case {
    const char* name;
    sim::AudioReply reply;
    int32_t state;
    int32_t references;
  };
  const Case cases[] = {
      {"at once", {kernel::kStatusSuccess}, kPnpStarted, 1},
      {"pending", {kernel::kStatusSuccess, 0, true, 30}, kPnpStarted, 1},
      {"failed", {kernel::kStatusUnsuccessful}, kPnpNotStarted, 0},
      {"failed pending", {kernel::kStatusInsufficientResources, 0, true, 30}, kPnpNotStarted, 0},
  };
  for (const Case& c : cases) {
    audio->setPnpReply(kernel::kIrpMnStartDevice, c.reply);
    kernel::DeviceObject* instance = addInstance();
    sim::takeCallLog();
    sim::RequestResult r = pnp(instance, kernel::kIrpMnStartDevice);
    EXPECT_EQ(r.status, c.reply.status) << c.name;
    EXPECT_EQ(r.returned, c.reply.status) << c.name << ": the filter completes the start itself";
    EXPECT_EQ(extensionOn(instance).pnpState, c.state) << c.name;
    EXPECT_EQ(extensionOn(instance).holdsControlReference, c.references) << c.name;
    std::vector<std::string> log = sim::takeCallLog();
    ASSERT_GE(log.size(), 3u) << c.name;
    EXPECT_EQ(log.back(), extensionOn(instance).self->label + " completes PNP START_DEVICE: " +
                              sim::hexStatus(c.reply.status))
        << c.name << ": completed by the filter after the audio device";
    pnp(instance, kernel::kIrpMnRemoveDevice);
  }
}

TEST_F(PnpHandler, StartRecordsTheSequenceAndCopiesRemovableMedia) {
  kernel::DeviceObject* removable = audio->addInstance(kernel::kDoBufferedIo, kernel::kFileRemovableMedia);
  ASSERT_EQ(sim::addDevice(kalvex, removable), kernel::kStatusSuccess);
  EXPECT_EQ(filterDeviceOn(removable)->characteristics & kernel::kFileRemovableMedia, kernel::kFileRemovableMedia)
      << "copied at add-device with the other characteristics";
  filterDeviceOn(removable)->characteristics &= ~kernel::kFileRemovableMedia;
  sim::takeCallLog();
  pnp(removable, kernel::kIrpMnStartDevice);
  EXPECT_EQ(filterDeviceOn(removable)->characteristics & kernel::kFileRemovableMedia, kernel::kFileRemovableMedia)
      << "set again once the stack started";
  const std::vector<std::string> start = {
      "filter2 <- PNP START_DEVICE",
      "audio2 <- PNP START_DEVICE",
      "audio2 completes PNP START_DEVICE: 0x00000000",
      "create device Kalvex",
      "create link \\DosDevices\\Kalvex",
      "filter2 completes PNP START_DEVICE: 0x00000000",
  };
  EXPECT_EQ(sim::takeCallLog(), start);
}

TEST_F(PnpHandler, RemoveWaitsForTheRequestsInsideTheDriver) {
  pnp(pdo, kernel::kIrpMnStartDevice);
  // A read the audio device holds inside its dispatch routine for a while.
  audio->setReply(kernel::kIrpMjRead, sim::AudioReply{kernel::kStatusSuccess, 0, false, 100});
  std::thread reader([&] { send(filterDeviceOn(pdo), kernel::kIrpMjRead); });
  audio->waitUntilReceived(kernel::kIrpMjRead, 1);
  sim::takeCallLog();
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  reader.join();
  std::vector<std::string> log = sim::takeCallLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "filter1 <- PNP REMOVE_DEVICE");
  EXPECT_EQ(log[1], "audio1 completes READ: 0x00000000") << "the read left before the remove went on";
  EXPECT_EQ(log[2], "audio1 <- PNP REMOVE_DEVICE");
}

TEST_F(PnpHandler, RequestsArrivingDuringTheRemoveAreRefused) {
  pnp(pdo, kernel::kIrpMnStartDevice);
  kernel::DeviceObject* device = filterDeviceOn(pdo);
  // The audio device takes its time with the remove; our lock is already closed.
  audio->setPnpReply(kernel::kIrpMnRemoveDevice, sim::AudioReply{kernel::kStatusSuccess, 0, false, 100});
  std::thread remover([&] { pnp(pdo, kernel::kIrpMnRemoveDevice); });
  audio->waitUntilReceived(kernel::kIrpMjPnp, 2);
  struct Case {
    const char* name;
    uint8_t major;
  };
  for (const Case c : {Case{"read", kernel::kIrpMjRead}, Case{"create", kernel::kIrpMjCreate},
                       Case{"power", kernel::kIrpMjPower}, Case{"plug and play", kernel::kIrpMjPnp}}) {
    sim::RequestResult r = send(device, c.major);
    EXPECT_EQ(r.status, kernel::kStatusDeletePending) << c.name;
  }
  remover.join();
  EXPECT_EQ(audio->received(kernel::kIrpMjRead), 0);
}

TEST_F(PnpHandler, RemoveDetachesAndDeletesAfterPassingDown) {
  pnp(pdo, kernel::kIrpMnStartDevice);
  sim::takeCallLog();
  EXPECT_EQ(pnp(pdo, kernel::kIrpMnRemoveDevice).status, kernel::kStatusSuccess);
  const std::vector<std::string> removal = {
      "filter1 <- PNP REMOVE_DEVICE",
      "audio1 <- PNP REMOVE_DEVICE",
      "audio1 completes PNP REMOVE_DEVICE: 0x00000000",
      "delete device audio1",
      "delete link \\DosDevices\\Kalvex",
      "delete device Kalvex",
      "detach filter1 from audio1",
      "delete device filter1",
  };
  EXPECT_EQ(sim::takeCallLog(), removal);
  EXPECT_TRUE(sim::devicesOf(kalvex).empty());
}

// Whether power requests may reach us at a pageable level follows the
// device above us on the way down and the device below us on the way up.
TEST_F(PnpHandler, UsageNotificationFollowsThePagingFlagOfTheStack) {
  struct Case {
    const char* name;
    int above;  // 0 none, 1 pageable, 2 not pageable
    bool lowerPagable;
    bool pending;
    bool expectPagable;
  };
  const Case cases[] = {
      {"alone, lower pageable", 0, true, false, true},
      {"alone, lower not pageable", 0, false, false, false},
      {"pageable above, lower pageable", 1, true, false, true},
      {"pageable above, lower not pageable", 1, false, true, false},
      {"non-pageable above, lower pageable", 2, true, false, false},
      {"non-pageable above, lower not pageable", 2, false, true, false},
  };
  for (const Case& c : cases) {
    kernel::DeviceObject* instance = audio->addInstance(c.lowerPagable ? kernel::kDoPowerPagable : 0);
    ASSERT_EQ(sim::addDevice(kalvex, instance), kernel::kStatusSuccess);
    kernel::DeviceObject* ours = filterDeviceOn(instance);
    ours->flags &= ~kernel::kDoPowerPagable;
    sim::AudioDriver upper("upper" + std::to_string(&c - cases));  // a driver above ours, when the case has one
    if (c.above != 0) {
      kernel::DeviceObject* top = upper.addInstance(c.above == 1 ? kernel::kDoPowerPagable : 0);
      kernel::attachDeviceToDeviceStack(top, instance);
    }
    audio->setPnpReply(kernel::kIrpMnDeviceUsageNotification, sim::AudioReply{kernel::kStatusSuccess, 0, c.pending, 5});
    sim::RequestShape shape;
    shape.major = kernel::kIrpMjPnp;
    shape.minor = kernel::kIrpMnDeviceUsageNotification;
    sim::RequestResult r = sim::sendRequest(ours, shape);
    bool seenPagable = (ours->flags & kernel::kDoPowerPagable) != 0;
    EXPECT_EQ(r.status, kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(r.returned, c.pending ? kernel::kStatusPending : kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(seenPagable, c.expectPagable) << c.name;
    EXPECT_EQ(sim::removeLockInfo(filterExtensionOf(ours)->removeLock).outstanding, 0)
        << c.name << ": released in the completion";
    if (c.above != 0) kernel::detachDevice(ours);
  }
}

}  // namespace
