#include "windows/window_base.h"

#include <prsht.h>

namespace {

constexpr ATOM kDialogClassAtom = 32770;  // the system dialog class, "#32770"

LONG_PTR AddressOf(WindowBase* object) { return reinterpret_cast<LONG_PTR>(object); }

}  // namespace

bool WindowBase::IsDialogWindow(HWND window) {
  // DWLP_DLGPROC is only meaningful for dialog boxes: on any other window it
  // reads the class's extra bytes (a button keeps its font there), so the
  // class is checked first.
  if (GetClassLongPtrW(window, GCW_ATOM) != kDialogClassAtom) return false;
  return GetWindowLongPtrW(window, DWLP_DLGPROC) != 0;
}

WindowBase* WindowBase::FromWindow(HWND window) {
  return static_cast<WindowBase*>(GetPropW(window, kPropertyName));
}

void WindowBase::Bind(HWND window) {
  window_ = window;
  isDialog_ = IsDialogWindow(window) ? 1 : 0;
  SetPropW(window, kPropertyName, reinterpret_cast<HANDLE>(AddressOf(this)));
}

int WindowBase::Attach(HWND window) {
  if (!window) return 0;
  Bind(window);
  const int slot = isDialog_ ? DWLP_DLGPROC : GWLP_WNDPROC;
  const LONG_PTR shared = reinterpret_cast<LONG_PTR>(&WindowBase::SharedProcedure);
  const LONG_PTR current = GetWindowLongPtrW(window, slot);
  // An object bound before keeps no procedure of its old window.
  previousProcedure_ = nullptr;
  if (current != shared) {
    previousProcedure_ = reinterpret_cast<WNDPROC>(current);
    SetWindowLongPtrW(window, slot, shared);
  }
  return 1;
}

int WindowBase::Detach() {
  if (!window_) return 0;
  if (previousProcedure_) {
    const int slot = isDialog_ ? DWLP_DLGPROC : GWLP_WNDPROC;
    SetWindowLongPtrW(window_, slot, reinterpret_cast<LONG_PTR>(previousProcedure_));
  }
  RemovePropW(window_, kPropertyName);
  // Unbound again: the object may later be bound to another window.
  previousProcedure_ = nullptr;
  isDialog_ = 0;
  window_ = nullptr;
  return 1;
}

LRESULT WindowBase::DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (previousProcedure_) return CallWindowProcW(previousProcedure_, window, message, wParam, lParam);
  if (isDialog_) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::SharedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowBase* object = FromWindow(window);
  if (!object) {
    if (message == WM_NCCREATE || message == WM_CREATE) {
      object = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    } else if (message == WM_INITDIALOG) {
      object = reinterpret_cast<WindowBase*>(lParam);
    }
    if (!object) return IsDialogWindow(window) ? 0 : DefWindowProcW(window, message, wParam, lParam);
    object->Attach(window);
  }
  const LRESULT result = object->HandleMessage(window, message, wParam, lParam);
  // Unbound right after WM_DESTROY; a window that never got it (one refused
  // at WM_CREATE) is unbound at WM_NCDESTROY, its last message.
  if (message == WM_DESTROY || message == WM_NCDESTROY) object->Detach();
  return result;
}

INT_PTR CALLBACK WindowBase::PropertyPageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowBase* object = FromWindow(window);
  if (!object) {
    if (message == WM_INITDIALOG && lParam) {
      object = reinterpret_cast<WindowBase*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
    }
    if (!object) return 0;  // a page is a dialog: not handled
    object->Bind(window);
  }
  const LRESULT result = object->HandleMessage(window, message, wParam, lParam);
  if (message == WM_DESTROY || message == WM_NCDESTROY) object->Detach();
  return result;
}
