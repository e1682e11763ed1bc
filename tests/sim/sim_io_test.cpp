// The simulated I/O system that every filter test trusts: stack locations,
// completion, remove locks, the fast mutex, events, the namespace, the
// registry and the user-mode side.
#include "sim/kernel/sim_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "kernel/event.h"
#include "kernel/fast_mutex.h"
#include "kernel/remove_lock.h"
#include "sim/audio/sim_audio_device.h"
#include "sim/user/sim_user_mode.h"

namespace {

using namespace std::chrono_literals;

class SimIo : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetIo();
    audio = std::make_unique<sim::AudioDriver>();
  }
  void TearDown() override {
    audio->finishPending();
    EXPECT_EQ(sim::violationLog(), expectedViolations);
    sim::resetIo();
  }
  std::unique_ptr<sim::AudioDriver> audio;
  std::vector<std::string> expectedViolations;
};

// A pass-through middle layer whose completion routine records what it saw.
struct Layer {
  static inline std::vector<std::string> seen;
  static inline kernel::Status answer = kernel::kStatusContinueCompletion;
  static kernel::Status completion(kernel::DeviceObject* device, kernel::Irp* irp, void* context) {
    seen.push_back(std::string(static_cast<const char*>(context)) + " on " + (device ? device->label : "none") +
                   (kernel::pendingReturned(irp) ? " pending" : ""));
    if (kernel::pendingReturned(irp)) kernel::markPending(irp);
    return answer;
  }
};

TEST_F(SimIo, CompletionRoutinesRunBottomUpAsTheirSwitchesSay) {
  kernel::DeviceObject* bottom = audio->addInstance();
  struct Case {
    const char* name;
    sim::AudioReply reply;
    bool onSuccess, onError;
    std::vector<std::string> seen;
  };
  const Case cases[] = {
      {"success, routine for success", {}, true, false, {"ctx on audio0"}},
      {"success, routine for errors only", {}, false, true, {}},
      {"error, routine for errors", {kernel::kStatusUnsuccessful}, false, true, {"ctx on audio0"}},
      {"pending success", {kernel::kStatusSuccess, 0, true, 5}, true, true, {"ctx on audio0 pending"}},
  };
  for (const Case& c : cases) {
    audio->setReply(kernel::kIrpMjRead, c.reply);
    Layer::seen.clear();
    // A two-location request: our "sender" location, then the device's.
    kernel::Irp* irp = sim::allocateIrp(2);
    irp->currentLocation = 2;  // the sender owns location 2
    irp->stack[1].major = kernel::kIrpMjRead;
    irp->stack[1].device = bottom;
    bottom->label = "audio0";
    kernel::copyCurrentStackLocationToNext(irp);
    static char ctx[] = "ctx";
    kernel::setCompletionRoutine(irp, Layer::completion, ctx, c.onSuccess, c.onError, false);
    irp->stack[1].control = 0;
    kernel::Status returned = kernel::callDriver(bottom, irp);
    if (returned == kernel::kStatusPending) sim::waitForCompletion(irp);
    EXPECT_EQ(Layer::seen, c.seen) << c.name;
    EXPECT_EQ(irp->status, c.reply.status) << c.name;
    sim::freeIrp(irp);
  }
  EXPECT_EQ(sim::ioCounters().liveIrps, 0);
}

TEST_F(SimIo, MoreProcessingRequiredStopsTheCompletionUntilCompletedAgain) {
  kernel::DeviceObject* bottom = audio->addInstance();
  kernel::Irp* irp = sim::allocateIrp(2);
  irp->currentLocation = 2;
  irp->stack[1].major = kernel::kIrpMjRead;
  irp->stack[1].device = bottom;
  kernel::copyCurrentStackLocationToNext(irp);
  static char ctx[] = "held";
  Layer::seen.clear();
  Layer::answer = kernel::kStatusMoreProcessingRequired;
  kernel::setCompletionRoutine(irp, Layer::completion, ctx, true, true, true);
  kernel::callDriver(bottom, irp);
  Layer::answer = kernel::kStatusContinueCompletion;
  EXPECT_EQ(irp->completed.load(), 0) << "held by the routine";
  EXPECT_EQ(irp->currentLocation, 2) << "back at the location of the routine's owner";
  kernel::completeRequest(irp);
  EXPECT_EQ(irp->completed.load(), 1);
  sim::freeIrp(irp);
}

TEST_F(SimIo, SkippingGivesTheNextDriverTheSameLocation) {
  kernel::DeviceObject* bottom = audio->addInstance();
  kernel::Irp* irp = sim::allocateIrp(2);
  irp->currentLocation = 2;
  irp->stack[1].major = kernel::kIrpMjDeviceControl;
  irp->stack[1].ioControlCode = 0x1234;
  kernel::skipCurrentStackLocation(irp);
  kernel::callDriver(bottom, irp);
  EXPECT_EQ(irp->completed.load(), 1);
  EXPECT_EQ(irp->stack[1].device, bottom) << "the very location was used";
  sim::freeIrp(irp);
}

TEST_F(SimIo, ADispatchThatBreaksThePendingRuleIsReported) {
  kernel::DriverObject* careless = sim::createDriverObject("careless");
  // Returns success for a request a lower driver still holds.
  kernel::setDispatchRoutine(careless, kernel::kIrpMjRead, [](kernel::DeviceObject* device, kernel::Irp* irp) {
    kernel::skipCurrentStackLocation(irp);
    kernel::callDriver(device->attachedTo, irp);
    return kernel::kStatusSuccess;
  });
  kernel::DeviceObject* bottom = audio->addInstance();
  kernel::DeviceObject* top = nullptr;
  kernel::createDevice(careless, 0, nullptr, 0, 0, false, top);
  kernel::attachDeviceToDeviceStack(top, bottom);
  audio->setReply(kernel::kIrpMjRead, sim::AudioReply{kernel::kStatusSuccess, 0, true, 5});
  sim::RequestShape shape;
  shape.major = kernel::kIrpMjRead;
  sim::sendRequest(top, shape);
  ASSERT_EQ(sim::violationLog().size(), 2u);
  expectedViolations = sim::violationLog();
  EXPECT_NE(expectedViolations[0].find("without completing"), std::string::npos) << expectedViolations[0];
  EXPECT_NE(expectedViolations[1].find("marked pending but returned"), std::string::npos) << expectedViolations[1];
  kernel::detachDevice(bottom);
}

TEST_F(SimIo, TheRemoveLockWaitsForEveryHolderAndThenRefuses) {
  kernel::RemoveLock lock;
  kernel::initializeRemoveLock(lock, 0x1234, 1, 100);
  sim::RemoveLockInfo info = sim::removeLockInfo(lock);
  EXPECT_EQ(info.tag, 0x1234u);
  EXPECT_EQ(info.maxLockedMinutes, 1u);
  EXPECT_EQ(info.highWatermark, 100u);
  int remover = 0, holder = 0;
  ASSERT_EQ(kernel::acquireRemoveLock(lock, &remover), kernel::kStatusSuccess);
  ASSERT_EQ(kernel::acquireRemoveLock(lock, &holder), kernel::kStatusSuccess);
  EXPECT_EQ(sim::removeLockInfo(lock).outstanding, 2);

  std::atomic<bool> waited{false};
  std::thread removal([&] {
    kernel::releaseRemoveLockAndWait(lock, &remover);
    waited = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(waited.load()) << "a holder is still inside";
  int late = 0;
  EXPECT_EQ(kernel::acquireRemoveLock(lock, &late), kernel::kStatusDeletePending) << "refused once removal began";
  kernel::releaseRemoveLock(lock, &holder);
  removal.join();
  EXPECT_TRUE(waited.load());
  EXPECT_TRUE(sim::removeLockInfo(lock).removed);
  EXPECT_EQ(kernel::acquireRemoveLock(lock, &late), kernel::kStatusDeletePending);
}

TEST_F(SimIo, TheRemoveLockReportsAReleaseItNeverGranted) {
  kernel::RemoveLock lock;
  kernel::initializeRemoveLock(lock, 1, 1, 100);
  int a = 0, b = 0;
  kernel::acquireRemoveLock(lock, &a);
  kernel::releaseRemoveLock(lock, &b);
  expectedViolations = {"remove lock released with a tag it was not acquired with"};
}

TEST_F(SimIo, TheFastMutexExcludesAndTheEventWakes) {
  kernel::FastMutex mutex;
  kernel::initializeFastMutex(mutex);
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; i++) {
        kernel::acquireFastMutexUnsafe(mutex);
        int seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        kernel::releaseFastMutexUnsafe(mutex);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 8000) << "no increment lost";

  for (kernel::EventType type : {kernel::EventType::Notification, kernel::EventType::Synchronization}) {
    kernel::Event event;
    kernel::initializeEvent(event, type, false);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
      kernel::waitForEvent(event);
      woke = true;
    });
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(woke.load());
    kernel::setEvent(event);
    waiter.join();
    EXPECT_TRUE(woke.load());
  }
}

TEST_F(SimIo, NamesAndLinksCollide) {
  kernel::DriverObject* driver = sim::createDriverObject("dev");
  kernel::WideChar deviceName[] = u"\\Device\\Thing";
  kernel::WideChar otherCase[] = u"\\DEVICE\\thing";
  kernel::WideChar linkName[] = u"\\DosDevices\\Thing";
  kernel::UnicodeString name = kernel::initUnicodeString(deviceName);
  kernel::UnicodeString upper = kernel::initUnicodeString(otherCase);
  kernel::UnicodeString link = kernel::initUnicodeString(linkName);
  kernel::DeviceObject* first = nullptr;
  kernel::DeviceObject* second = nullptr;
  EXPECT_EQ(kernel::createDevice(driver, 4, &name, 0x22, 0, false, first), kernel::kStatusSuccess);
  EXPECT_EQ(kernel::createDevice(driver, 4, &upper, 0x22, 0, false, second), kernel::kStatusObjectNameCollision);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(kernel::createSymbolicLink(link, name), kernel::kStatusSuccess);
  EXPECT_EQ(kernel::createSymbolicLink(link, name), kernel::kStatusObjectNameCollision);
  EXPECT_EQ(kernel::deleteSymbolicLink(link), kernel::kStatusSuccess);
  EXPECT_EQ(kernel::deleteSymbolicLink(link), kernel::kStatusObjectNameNotFound);
  kernel::deleteDevice(first);
  EXPECT_EQ(kernel::createDevice(driver, 4, &name, 0x22, 0, false, second), kernel::kStatusSuccess)
      << "the name is free again";
  kernel::deleteDevice(second);
  EXPECT_EQ(sim::ioCounters().liveDevices, 0) << "deleted devices without references are freed";
}

TEST_F(SimIo, TheRegistryAnswersPartialQueriesByBufferSize) {
  sim::setRegistryValue(u"\\Registry\\Key", u"Value", kernel::kRegBinary, {1, 2, 3, 4, 5, 6});
  kernel::WideChar path[] = u"\\registry\\KEY";
  kernel::WideChar value[] = u"value";
  kernel::RegistryKey* key = nullptr;
  ASSERT_EQ(kernel::openKey(kernel::initUnicodeString(path), key), kernel::kStatusSuccess);
  struct Case {
    uint32_t bufferBytes;
    kernel::Status status;
    uint32_t dataLength;  // in the header, where one was written
  };
  for (const Case c : {Case{11, kernel::kStatusBufferTooSmall, 0}, Case{12, kernel::kStatusBufferOverflow, 6},
                       Case{17, kernel::kStatusBufferOverflow, 6}, Case{18, kernel::kStatusSuccess, 6},
                       Case{40, kernel::kStatusSuccess, 6}}) {
    uint8_t buffer[40];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint32_t result = 0;
    EXPECT_EQ(kernel::queryValuePartial(key, kernel::initUnicodeString(value), buffer, c.bufferBytes, result),
              c.status)
        << c.bufferBytes;
    EXPECT_EQ(result, 18u) << c.bufferBytes;
    auto* info = reinterpret_cast<kernel::KeyValuePartialInformation*>(buffer);
    if (c.bufferBytes >= 12) {
      EXPECT_EQ(info->dataLength, c.dataLength) << c.bufferBytes;
    }
    if (c.bufferBytes < sizeof buffer) {
      EXPECT_EQ(buffer[c.bufferBytes], 0xEE) << c.bufferBytes << ": nothing written past the buffer";
    }
  }
  kernel::closeKey(key);
  kernel::WideChar missing[] = u"\\Registry\\Missing";
  EXPECT_EQ(kernel::openKey(kernel::initUnicodeString(missing), key), kernel::kStatusObjectNameNotFound);
  EXPECT_EQ(sim::registryCounters().openKeys, 0);
}

TEST_F(SimIo, TheUserSideOpensThroughTheLinkAndCopiesBuffers) {
  kernel::DeviceObject* device = audio->addInstance();
  kernel::WideChar linkName[] = u"\\DosDevices\\Audio";
  kernel::WideChar target[] = u"\\Device\\SimAudio1";
  kernel::createSymbolicLink(kernel::initUnicodeString(linkName), kernel::initUnicodeString(target));
  sim::UserHandle handle;
  EXPECT_EQ(sim::openFile(u"\\\\.\\Nothing", handle), kernel::kStatusObjectNameNotFound);
  ASSERT_EQ(sim::openFile(u"\\\\.\\Audio", handle), kernel::kStatusSuccess);
  EXPECT_EQ(handle.file->device, device);
  EXPECT_EQ(device->references, 1);
  audio->setControlReply(0x00220000, sim::AudioReply{kernel::kStatusSuccess, 4});
  uint8_t out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  sim::UserIoResult r = sim::deviceIoControl(handle, 0x00220000, nullptr, 0, out, sizeof out);
  EXPECT_EQ(r.status, kernel::kStatusSuccess);
  EXPECT_EQ(r.bytes, 4u);
  EXPECT_EQ(out[0], 0) << "the system buffer's bytes came back";
  EXPECT_EQ(out[4], 9) << "only as many as returned";
  EXPECT_EQ(sim::closeHandle(handle), kernel::kStatusSuccess);
  EXPECT_EQ(device->references, 0);
  EXPECT_EQ(audio->received(kernel::kIrpMjCleanup), 1);
  EXPECT_EQ(audio->received(kernel::kIrpMjClose), 1);
}

// What a driver reads from a request, captured by a driver of the test's own.
struct Seen {
  static inline uint8_t major, minor;
  static inline uint32_t code, inputLength, outputLength;
  static inline void *type3, *user, *system;
  static inline kernel::RequestorMode mode;
  static inline kernel::FileObject* file;
  static kernel::Status dispatch(kernel::DeviceObject*, kernel::Irp* irp) {
    kernel::StackLocation* s = kernel::currentStackLocation(irp);
    major = kernel::majorFunction(s);
    minor = kernel::minorFunction(s);
    code = kernel::ioControlCode(s);
    inputLength = kernel::inputBufferLength(s);
    outputLength = kernel::outputBufferLength(s);
    type3 = kernel::type3InputBuffer(s);
    user = kernel::userBuffer(irp);
    system = kernel::systemBuffer(irp);
    mode = kernel::requestorMode(irp);
    file = kernel::fileObject(s);
    kernel::setRequestStatus(irp, kernel::kStatusSuccess);
    kernel::setRequestInformation(irp, 0);
    kernel::completeRequest(irp);
    return kernel::kStatusSuccess;
  }
};

TEST_F(SimIo, TheUserSidePassesBuffersByTheCodesMethod) {
  kernel::DriverObject* driver = sim::createDriverObject("seen");
  for (uint8_t major = 0; major < kernel::kMajorFunctionCount; major++) {
    kernel::setDispatchRoutine(driver, major, Seen::dispatch);
  }
  kernel::WideChar name[] = u"\\Device\\Seen";
  kernel::UnicodeString text = kernel::initUnicodeString(name);
  kernel::DeviceObject* device = nullptr;
  ASSERT_EQ(kernel::createDevice(driver, 0, &text, 0x2F, 0, false, device), kernel::kStatusSuccess);
  sim::UserHandle handle;
  ASSERT_EQ(sim::openFile(u"\\Device\\Seen", handle), kernel::kStatusSuccess);
  EXPECT_EQ(Seen::major, kernel::kIrpMjCreate);
  EXPECT_EQ(Seen::file, handle.file);
  EXPECT_EQ(Seen::mode, kernel::RequestorMode::User);

  uint8_t input[24] = {}, output[16] = {};
  sim::deviceIoControl(handle, 0x002F0003, input, sizeof input, output, sizeof output);  // method neither
  EXPECT_EQ(Seen::code, 0x002F0003u);
  EXPECT_EQ(Seen::type3, input);
  EXPECT_EQ(Seen::user, output);
  EXPECT_EQ(Seen::system, nullptr);
  EXPECT_EQ(Seen::inputLength, 24u);
  EXPECT_EQ(Seen::outputLength, 16u);
  EXPECT_EQ(Seen::file, handle.file);

  sim::deviceIoControl(handle, 0x08004004, nullptr, 0, output, sizeof output);  // buffered
  EXPECT_NE(Seen::system, nullptr);
  EXPECT_NE(Seen::system, static_cast<void*>(output)) << "a copy, not the caller's buffer";
  EXPECT_EQ(Seen::type3, nullptr);
  sim::deviceIoControl(handle, 0x08004004, nullptr, 0, nullptr, 0);
  EXPECT_EQ(Seen::system, nullptr) << "no lengths, no buffer";
  sim::closeHandle(handle);
  EXPECT_EQ(Seen::major, kernel::kIrpMjClose);
  kernel::deleteDevice(device);
}

}  // namespace
