#pragma once
// The running application's hidden main window, class and title "Miravel".
// So far the controller does only what the start needs: it registers its
// class and creates its window, and the first read of the driver's
// echo-cancellation settings decides whether the window may exist. Applying
// the settings, the timers, the tray icon and the private messages' answers
// come with the rest of the controller.
#include <windows.h>

#include "windows/window_base.h"

class KalvexClient;
class SettingsModel;

// Private messages of the main window (WM_USER + n), as other instances send them.
inline constexpr UINT kMsgSetState = 1126;          // wParam 1 on, 2 off; remembered
inline constexpr UINT kMsgShowSettings = 1127;
inline constexpr UINT kMsgEcStatusFlags = 1135;
inline constexpr UINT kMsgMicEnergyMean = 1148;
inline constexpr UINT kMsgOutEnergyMean = 1150;
inline constexpr UINT kMsgRenderFormat = 1152;      // packed, see PackedFormat
inline constexpr UINT kMsgCaptureFormat = 1153;
inline constexpr WPARAM kSetStateOn = 1;
inline constexpr WPARAM kSetStateOff = 2;

// The main window while it exists, none otherwise.
extern HWND g_mainWindow;

class MainController : public WindowBase {
 public:
  static constexpr const wchar_t* kWindowClass = L"Miravel";
  static constexpr const wchar_t* kWindowTitle = L"Miravel";

  MainController(SettingsModel& settings, KalvexClient& client) : settings_(settings), client_(client) {}

  // Registers the class (an existing registration counts as success) and
  // creates the hidden window. None when the class cannot be registered or
  // the window was refused because the driver's settings cannot be read.
  HWND Create(HINSTANCE instance);

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnCreate(HWND window);

  SettingsModel& settings_;
  KalvexClient& client_;
  bool created_ = false;  // WM_CREATE accepted the window
};
