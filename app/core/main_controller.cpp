#include "core/main_controller.h"

#include "core/device_client.h"
#include "core/settings_model.h"

HWND g_mainWindow = nullptr;

HWND MainController::Create(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &WindowBase::SharedProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  return CreateWindowExW(0, kWindowClass, kWindowTitle, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, nullptr, nullptr, instance, this);
}

LRESULT MainController::OnCreate(HWND window) {
  g_mainWindow = window;
  // Without the driver's settings there is nothing to control: refuse the window.
  const BOOL read = client_.ReadEcSettings();
  client_.CloseDevice();
  if (!read) {
    g_mainWindow = nullptr;
    return -1;
  }
  created_ = true;
  return 0;
}

LRESULT MainController::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      // A window refused at WM_CREATE is destroyed too; only an accepted one
      // ends the message loop (a stray quit message would close the notice
      // that tells the user why the program ends).
      if (created_) {
        created_ = false;
        PostQuitMessage(0);
      }
      if (g_mainWindow == window) g_mainWindow = nullptr;
      break;
    default:
      break;
  }
  return DefaultProcessing(window, message, wParam, lParam);
}
