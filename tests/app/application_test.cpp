// Miravel.exe as a whole, run as a child process: forwarding of the switches
// to a running instance, the console report, the single-instance mutex, and
// the start without the control device (there is none under Wine).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32_test_support.h"
#include "core/application.h"
#include "core/main_controller.h"
#include "core/resource_library.h"
#include "ostrel/ostrel_ids.h"

namespace {

using test_support::MiravelProcess;

constexpr DWORD kExitLimit = 20000;  // ms a child may take; Wine starts a process in about 2.5 s

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool sent;  // sent by another thread (SendMessage) rather than posted
};

// A window of class and title "Miravel" in this process, standing for the
// running instance: it records the private messages and WM_DESTROY it gets
// and answers the queries of the console report.
class RunningInstanceStandIn {
 public:
  RunningInstanceStandIn() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = MainController::kWindowClass;
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(0, MainController::kWindowClass, MainController::kWindowTitle, 0, 0, 0, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~RunningInstanceStandIn() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    UnregisterClassW(MainController::kWindowClass, GetModuleHandleW(nullptr));
  }

  HWND Window() const { return window_; }
  std::vector<Received> received;
  // Answers of the queries, by message.
  LRESULT micMean = 0, outMean = 0, flags = 0, captureFormat = 0, renderFormat = 0;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RunningInstanceStandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && (message >= WM_USER || message == WM_DESTROY)) {
      self->received.push_back({message, wParam, lParam, InSendMessage() != FALSE});
      switch (message) {
        case kMsgMicEnergyMean: return self->micMean;
        case kMsgOutEnergyMean: return self->outMean;
        case kMsgEcStatusFlags: return self->flags;
        case kMsgCaptureFormat: return self->captureFormat;
        case kMsgRenderFormat: return self->renderFormat;
        case WM_DESTROY: return 0;  // recorded only: the stand-in stays
        default: return 0;
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND window_ = nullptr;
};

std::string WithoutCarriageReturns(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

struct ForwardCase {
  const wchar_t* arguments;
  Received expected;
};

TEST(Application, ForwardsSwitchesToTheRunningInstance) {
  const ForwardCase cases[] = {
      {L"/On", {kMsgSetState, kSetStateOn, 0, true}},
      {L"/off", {kMsgSetState, kSetStateOff, 0, true}},
      {L"/Start", {kMsgShowSettings, 0, 0, false}},
      {L"/EXIT", {WM_DESTROY, 0, 0, false}},
  };
  for (const ForwardCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "Miravel " << std::string(c.arguments, c.arguments + wcslen(c.arguments)));
    RunningInstanceStandIn instance;
    MiravelProcess child(c.arguments);
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForExit(kExitLimit)) << "a forwarding run ends by itself";
    test_support::PumpMessages(200);  // posted messages arrive after the sender ended
    EXPECT_EQ(0u, child.ExitCode());
    ASSERT_EQ(1u, instance.received.size()) << "exactly one message reaches the running instance";
    EXPECT_EQ(c.expected.message, instance.received[0].message);
    EXPECT_EQ(c.expected.wParam, instance.received[0].wParam);
    EXPECT_EQ(c.expected.lParam, instance.received[0].lParam);
    EXPECT_EQ(c.expected.sent, instance.received[0].sent) << "sent rather than posted";
  }
}

TEST(Application, SwitchesWithoutRunningInstanceEndSilently) {
  // Had any of them made a normal start, it would wait at the notice that
  // the control device is missing instead of ending.
  for (const wchar_t* arguments : {L"/On", L"/Off", L"/Exit"}) {
    SCOPED_TRACE(testing::Message() << "Miravel " << std::string(arguments, arguments + wcslen(arguments)));
    MiravelProcess child(arguments);
    ASSERT_TRUE(child.Started());
    EXPECT_TRUE(child.WaitForExit(kExitLimit));
    EXPECT_EQ(0u, child.ExitCode());
  }
}

TEST(Application, InfoReportsTheRunningInstanceInOrder) {
  RunningInstanceStandIn instance;
  instance.micMean = 1000;        // 30 dB
  instance.outMean = 99;          // 19.96 dB, truncated
  instance.flags = 0x30000;
  instance.captureFormat = (16000 / 25) << 16 | 1 << 8 | 16;
  instance.renderFormat = (44100 / 25) << 16 | 2 << 8 | 16;
  MiravelProcess child(L"/Start /Info");  // acts as Info alone
  ASSERT_TRUE(child.Started());
  child.WriteInput("\r\n");
  ASSERT_TRUE(child.WaitForExit(kExitLimit));
  EXPECT_EQ(0u, child.ExitCode());
  EXPECT_EQ(
      "Format\n"
      " Read 16000Hz, 1ch, 16bit\n"
      " Write 44100Hz, 2ch, 16bit\n"
      "Power\n"
      " Mic 1000 (30 db)\n"
      " Out 99 (19 db)\n"
      "EC Status 0x30000\n"
      "\n--Press Enter--\n",
      WithoutCarriageReturns(child.ReadOutput()));
  const UINT order[] = {kMsgMicEnergyMean, kMsgOutEnergyMean, kMsgEcStatusFlags, kMsgCaptureFormat, kMsgRenderFormat};
  ASSERT_EQ(5u, instance.received.size());
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(order[i], instance.received[i].message) << "query " << i;
    EXPECT_TRUE(instance.received[i].sent) << "query " << i;
  }
}

TEST(Application, InfoWithoutRunningInstanceReportsZerosAndWaitsForEnter) {
  MiravelProcess child(L"/info");
  ASSERT_TRUE(child.Started());
  EXPECT_FALSE(child.WaitForExit(1500)) << "the report waits for one character";
  child.WriteInput("\n");
  ASSERT_TRUE(child.WaitForExit(kExitLimit));
  EXPECT_EQ(0u, child.ExitCode());
  EXPECT_EQ(
      "Format\n"
      " Read 0Hz, 0ch, 0bit\n"
      " Write 0Hz, 0ch, 0bit\n"
      "Power\n"
      " Mic 0 (0 db)\n"
      " Out 0 (0 db)\n"
      "EC Status 0x0\n"
      "\n--Press Enter--\n",
      WithoutCarriageReturns(child.ReadOutput()));
}

TEST(Application, SecondNormalStartEndsAtTheMutex) {
  // This process holds the name as a running instance would. A start that
  // got past the mutex would wait at the notice about the missing device.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  ASSERT_NE(nullptr, mutex);
  ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "no other instance may run during the test";
  for (const wchar_t* arguments : {L"", L"/Run", L"/Start"}) {
    SCOPED_TRACE(testing::Message() << "Miravel " << std::string(arguments, arguments + wcslen(arguments)));
    MiravelProcess child(arguments);
    ASSERT_TRUE(child.Started());
    EXPECT_TRUE(child.WaitForExit(kExitLimit));
    EXPECT_EQ(0u, child.ExitCode());
  }
  CloseHandle(mutex);
}

TEST(Application, WithoutControlDeviceTellsTheUserOnceAndEnds) {
  ResourceLibrary resources;
  const std::wstring title = resources.LoadWholeString(IDS_PRODUCT);
  ASSERT_FALSE(title.empty());
  // "/On x:/dir" matches no switch: only the text after the last slash counts.
  for (const wchar_t* arguments : {L"", L"/Start", L"/On x:/dir"}) {
    SCOPED_TRACE(testing::Message() << "Miravel " << std::string(arguments, arguments + wcslen(arguments)));
    MiravelProcess child(arguments);
    ASSERT_TRUE(child.Started());
    HWND notice = test_support::WaitForDialogOf(child.Id(), kExitLimit);
    ASSERT_NE(nullptr, notice) << "the user is told why the program ends";
    wchar_t caption[128] = {};
    GetWindowTextW(notice, caption, 128);
    EXPECT_EQ(title, std::wstring(caption));
    EXPECT_EQ(nullptr, FindWindowW(MainController::kWindowClass, MainController::kWindowTitle)) << "no main window";
    // The mutex is released before the notice: a new start need not wait for the user.
    HANDLE probe = OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName);
    EXPECT_EQ(nullptr, probe) << "the mutex is free while the notice is up";
    if (probe) CloseHandle(probe);

    PostMessageW(notice, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(child.WaitForExit(kExitLimit)) << "the process ends once the notice is closed";
    EXPECT_EQ(0u, child.ExitCode());
  }
}

}  // namespace
