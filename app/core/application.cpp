#include "core/application.h"

#include <gdiplus.h>

#include "core/command_line.h"
#include "core/info_report.h"
#include "core/program_objects.h"
#include "core/text_format.h"
#include "ostrel/ostrel_ids.h"

HINSTANCE g_appInstance = nullptr;
bool g_isVersion51OrLater = false;

namespace {

HWND FindRunningInstance() { return FindWindowW(MainController::kWindowClass, MainController::kWindowTitle); }

bool IsVersion51OrLater() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 5;
  version.dwMinorVersion = 1;
  version.wServicePackMajor = 0;
  // Every type in the mask needs a condition, or the test fails on a 5.1
  // system itself; service pack 0 or later is any service pack.
  DWORDLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions) != 0;
}

// Tells the user, once, why a start ends: the driver's control device could
// not be read, so there is nothing to control. A tray program has no window
// of its own to say it in, so it is a message box.
void TellNoDevice(ProgramObjects& objects) {
  const UINT productId = objects.settings.featureFlags.MicArraySupported() ? IDS_PRODUCT_ARRAY : IDS_PRODUCT;
  std::wstring product = objects.resources.LoadWholeString(productId);
  const std::wstring format = objects.resources.LoadWholeString(IDS_NO_DEVICE);
  std::wstring text;
  if (!format.empty()) {
    text = FormatText(1024, format.c_str(), product.c_str());
  } else {
    // Without the resource library the notice still has to say something.
    product = MainController::kWindowTitle;
    text = L"Miravel cannot start: its audio filter is not installed or not running.";
  }
  MessageBoxW(nullptr, text.c_str(), product.c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

int NormalStart(ProgramObjects& objects) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  // A name that exists, or one that cannot even be opened, belongs to an
  // instance that already runs.
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex) CloseHandle(mutex);
    return 0;
  }

  g_isVersion51OrLater = IsVersion51OrLater();
  objects.settings.Load(HKEY_LOCAL_MACHINE);
  objects.settings.Load(HKEY_CURRENT_USER);
  if (!g_isVersion51OrLater) {
    // The association monitor needs process modules and session notifications.
    objects.settings.AppAssociation = 0;
    objects.settings.ShowAssociationBalloon = 0;
  }

  if (!objects.controller.Create(g_appInstance)) {
    // No main window, no message loop: end now, and free the mutex first so
    // that a start after the driver is back succeeds while the notice is up.
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    TellNoDevice(objects);
    return 0;
  }

  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no debug handler, nothing suppressed
  const bool gdiplusStarted = Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr) == Gdiplus::Ok;

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  ReleaseMutex(mutex);
  if (gdiplusStarted) Gdiplus::GdiplusShutdown(gdiplusToken);
  CloseHandle(mutex);
  return 0;
}

}  // namespace

int RunApplication(ProgramObjects& objects, HINSTANCE instance, const char* commandLine) {
  g_appInstance = instance;
  HWND running = nullptr;
  switch (RecognizeSwitch(commandLine)) {
    case Switch::Info:
      RunInfoReport();
      return 0;
    case Switch::On:
      if ((running = FindRunningInstance())) SendMessageW(running, kMsgSetState, kSetStateOn, 0);
      return 0;
    case Switch::Off:
      if ((running = FindRunningInstance())) SendMessageW(running, kMsgSetState, kSetStateOff, 0);
      return 0;
    case Switch::Exit:
      if ((running = FindRunningInstance())) PostMessageW(running, WM_DESTROY, 0, 0);
      return 0;
    case Switch::Start:
      if ((running = FindRunningInstance())) {
        SetForegroundWindow(running);
        PostMessageW(running, kMsgShowSettings, 0, 0);
        return 0;
      }
      break;  // no instance: a normal start, without the settings window
    case Switch::Run:
    case Switch::None:
      break;
  }
  return NormalStart(objects);
}
