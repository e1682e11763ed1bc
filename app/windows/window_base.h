#pragma once
// Base of every window object: binds a window handle to its object, routes the
// window's messages to one virtual handler, and supplies default processing.
// One shared procedure serves registered classes, dialogs and subclassed
// controls; a second one serves property-sheet pages. The object is found from
// its window through a window property that holds the object's address. An
// object is bound at the first WM_NCCREATE, WM_CREATE or WM_INITDIALOG that
// carries it, or by Attach, and unbound right after WM_DESTROY (or at
// WM_NCDESTROY for a window that never got WM_DESTROY); the window's
// destruction never deletes the object, which its creator owns.
#include <windows.h>

class WindowBase {
 public:
  // Name of the window property that holds the object's address.
  static constexpr const wchar_t* kPropertyName = L"WND_BASE_PROP_NAME";

  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  // Answers the message's result; every class overrides it and ends in
  // DefaultProcessing for what it does not handle.
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual ~WindowBase() = default;

  // Binds an existing window: stores it, sets the property and, unless the
  // window already runs the shared procedure, subclasses it. 0 for a null window.
  int Attach(HWND window);
  // Puts the replaced procedure back and removes the property. 0 if unbound.
  int Detach();
  // The replaced procedure if any; else 0 for a dialog; else DefWindowProcW.
  LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Window, dialog and subclass procedure of every object.
  static LRESULT CALLBACK SharedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Dialog procedure of property-sheet pages: the object comes from the
  // PROPSHEETPAGEW's lParam at WM_INITDIALOG and is bound without subclassing.
  static INT_PTR CALLBACK PropertyPageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // The object bound to a window, or none.
  static WindowBase* FromWindow(HWND window);
  // Whether the window is a dialog box with a dialog procedure.
  static bool IsDialogWindow(HWND window);

  HWND Window() const { return window_; }
  HWND Owner() const { return owner_; }
  void SetOwner(HWND owner) { owner_ = owner; }
  WNDPROC PreviousProcedure() const { return previousProcedure_; }
  int IsDialog() const { return isDialog_; }

 private:
  // Binds without subclassing (property-sheet pages).
  void Bind(HWND window);

  WNDPROC previousProcedure_ = nullptr;
  int isDialog_ = 0;
  HWND owner_ = nullptr;   // parent or owner, set by the creator before creation
  HWND window_ = nullptr;  // the bound window, none while unbound
};
