// The forwarding dispatch: which hook decides for a request, the three
// actions, the completion routine's calls, and the remove lock around it all.
#include "filter/forwarding_dispatch.h"

#include <string>
#include <vector>

#include "filter_fixture.h"

namespace {

// Hooks that record their calls and answer what the test asks.
struct Recorder {
  static inline std::vector<std::string> calls;
  static inline HookDecision answer{HookAction::Pass, kernel::kStatusSuccess};

  static HookDecision decide(const char* name) {
    calls.push_back(name);
    return answer;
  }
  static InterceptionHooks hooks() {
    InterceptionHooks h;
    h.pinCreation = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) { return decide("pin creation"); };
    h.capture = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) { return decide("capture"); };
    h.render = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) { return decide("render"); };
    h.property = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) { return decide("property"); };
    h.pinCreationCompletion = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*,
                                 kernel::Status s) { calls.push_back("pin creation completion " + sim::hexStatus(s)); };
    h.captureCompletion = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*, kernel::Status s) {
      calls.push_back("capture completion " + sim::hexStatus(s));
    };
    h.propertyCompletion = [](FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*, kernel::Status s) {
      calls.push_back("property completion " + sim::hexStatus(s));
    };
    return h;
  }
};

class ForwardingDispatch : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    load();
    pdo = startedInstance();
    device = filterDeviceOn(pdo);
    filter->hooks = Recorder::hooks();
    Recorder::calls.clear();
    Recorder::answer = {HookAction::Pass, kernel::kStatusSuccess};
    sim::takeCallLog();
  }
  void TearDown() override {
    EXPECT_EQ(sim::removeLockInfo(filterExtensionOf(device)->removeLock).outstanding, 0) << "remove lock released";
    FilterFixture::TearDown();
  }
  kernel::DeviceObject* pdo = nullptr;
  kernel::DeviceObject* device = nullptr;
};

TEST_F(ForwardingDispatch, EachRequestIsDecidedByItsHook) {
  struct Case {
    const char* name;
    uint8_t major;
    uint32_t code;
    std::vector<std::string> hooks;
  };
  const Case cases[] = {
      {"create", kernel::kIrpMjCreate, 0, {"pin creation"}},
      {"read stream", kernel::kIrpMjDeviceControl, kIoctlKsReadStream, {"capture"}},
      {"write stream", kernel::kIrpMjDeviceControl, kIoctlKsWriteStream, {"render"}},
      {"property", kernel::kIrpMjDeviceControl, kIoctlKsProperty, {"property"}},
      {"another control code", kernel::kIrpMjDeviceControl, 0x002F0007, {}},
      {"a stream code as internal control", kernel::kIrpMjInternalDeviceControl, kIoctlKsReadStream, {}},
      {"read", kernel::kIrpMjRead, 0, {}},
      {"close", kernel::kIrpMjClose, 0, {}},
      {"system control", kernel::kIrpMjSystemControl, 0, {}},
  };
  for (const Case& c : cases) {
    Recorder::calls.clear();
    sim::RequestResult r = send(device, c.major, c.code);
    EXPECT_EQ(r.status, kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(Recorder::calls, c.hooks) << c.name;
    std::string what = sim::describeRequest(c.major, 0, c.code);
    const std::vector<std::string> passed = {"filter1 <- " + what, "audio1 <- " + what,
                                             "audio1 completes " + what + ": 0x00000000"};
    EXPECT_EQ(sim::takeCallLog(), passed) << c.name;
  }
}

TEST_F(ForwardingDispatch, CompleteHereNeverReachesTheAudioDevice) {
  Recorder::answer = {HookAction::CompleteHere, kernel::kStatusUnsuccessful};
  sim::RequestResult r = send(device, kernel::kIrpMjDeviceControl, kIoctlKsProperty);
  EXPECT_EQ(r.returned, kernel::kStatusUnsuccessful);
  EXPECT_EQ(r.status, kernel::kStatusUnsuccessful);
  const std::vector<std::string> log = {"filter1 <- DEVICE_CONTROL 0x002F0003",
                                        "filter1 completes DEVICE_CONTROL 0x002F0003: 0xC0000001"};
  EXPECT_EQ(sim::takeCallLog(), log);
  EXPECT_EQ(Recorder::calls, std::vector<std::string>{"property"}) << "no completion hook";
}

TEST_F(ForwardingDispatch, TheCompletionHooksSeeWhatTheAudioDeviceAnswered) {
  struct Case {
    const char* name;
    uint8_t major;
    uint32_t code;
    sim::AudioReply reply;
    std::vector<std::string> calls;
  };
  const kernel::Status fail = kernel::kStatusUnsuccessful;
  const Case cases[] = {
      {"create succeeded", kernel::kIrpMjCreate, 0, {}, {"pin creation", "pin creation completion 0x00000000"}},
      {"create failed", kernel::kIrpMjCreate, 0, {fail}, {"pin creation"}},
      {"read succeeded", kernel::kIrpMjDeviceControl, kIoctlKsReadStream, {}, {"capture", "capture completion 0x00000000"}},
      {"read succeeded later", kernel::kIrpMjDeviceControl, kIoctlKsReadStream, {kernel::kStatusSuccess, 8, true, 10},
       {"capture", "capture completion 0x00000000"}},
      {"read failed", kernel::kIrpMjDeviceControl, kIoctlKsReadStream, {fail}, {"capture"}},
      {"property succeeded", kernel::kIrpMjDeviceControl, kIoctlKsProperty, {}, {"property", "property completion 0x00000000"}},
      {"property failed later", kernel::kIrpMjDeviceControl, kIoctlKsProperty, {fail, 0, true, 10},
       {"property", "property completion 0xC0000001"}},
      {"write", kernel::kIrpMjDeviceControl, kIoctlKsWriteStream, {}, {"render"}},
  };
  Recorder::answer = {HookAction::PassWithCompletion, kernel::kStatusSuccess};
  for (const Case& c : cases) {
    Recorder::calls.clear();
    audio->setReply(c.major, c.reply);
    sim::RequestResult r = send(device, c.major, c.code);
    EXPECT_EQ(r.returned, c.reply.pending ? kernel::kStatusPending : c.reply.status) << c.name;
    EXPECT_EQ(r.status, c.reply.status) << c.name;
    EXPECT_EQ(r.information, c.reply.information) << c.name;
    EXPECT_EQ(Recorder::calls, c.calls) << c.name;
    audio->setReply(c.major, sim::AudioReply{});
  }
}

TEST_F(ForwardingDispatch, PassTouchesNothingOnTheWayUp) {
  audio->setReply(kernel::kIrpMjDeviceControl, sim::AudioReply{kernel::kStatusSuccess, 64, true, 10});
  sim::RequestResult r = send(device, kernel::kIrpMjDeviceControl, kIoctlKsReadStream);
  EXPECT_EQ(r.returned, kernel::kStatusPending);
  EXPECT_EQ(r.information, 64u);
  EXPECT_EQ(Recorder::calls, std::vector<std::string>{"capture"});
}

TEST_F(ForwardingDispatch, TheDefaultHooksPassEverything) {
  filter->hooks = passThroughHooks();
  audio->setReply(kernel::kIrpMjDeviceControl, sim::AudioReply{kernel::kStatusSuccess, 24});
  for (uint32_t code : {kIoctlKsReadStream, kIoctlKsWriteStream, kIoctlKsProperty}) {
    // Method-neither requests whose buffers are missing altogether.
    sim::RequestResult r = send(device, kernel::kIrpMjDeviceControl, code, nullptr, 24, 24);
    EXPECT_EQ(r.status, kernel::kStatusSuccess);
    EXPECT_EQ(r.information, 24u);
  }
  EXPECT_EQ(audio->received(kernel::kIrpMjDeviceControl), 3);
}

}  // namespace
