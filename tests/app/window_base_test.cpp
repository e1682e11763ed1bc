// WindowBase binding a registered window, a dialog, a property-sheet page and
// a subclassed control, on real windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <vector>

#include "windows/window_base.h"

namespace {

constexpr UINT kHandled = WM_USER + 1;     // the test object answers 42
constexpr UINT kControlOnly = WM_USER + 2; // only the control's own procedure answers 77
constexpr LRESULT kHandledResult = 42;
constexpr LRESULT kControlResult = 77;

class RecordingWindow : public WindowBase {
 public:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    if (message == kHandled) return kHandledResult;
    return DefaultProcessing(window, message, wParam, lParam);
  }
  bool Saw(UINT message) const { return std::find(messages.begin(), messages.end(), message) != messages.end(); }
  std::vector<UINT> messages;
};

WindowBase* PropertyOf(HWND window) { return static_cast<WindowBase*>(GetPropW(window, WindowBase::kPropertyName)); }

LONG_PTR SharedAddress() { return reinterpret_cast<LONG_PTR>(&WindowBase::SharedProcedure); }

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// A class of our own whose procedure is the shared one.
class SharedClass {
 public:
  SharedClass() {
    WNDCLASSEXW c = {};
    c.cbSize = sizeof(c);
    c.lpfnWndProc = &WindowBase::SharedProcedure;
    c.hInstance = Instance();
    c.lpszClassName = kName;
    RegisterClassExW(&c);
  }
  ~SharedClass() { UnregisterClassW(kName, Instance()); }
  static constexpr const wchar_t* kName = L"KalvexTestShared";
};

// A control class with a procedure of its own, which notes what it finds at
// WM_NCDESTROY, the last message a window gets.
struct ControlSpy {
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kControlOnly) return kControlResult;
    if (message == WM_NCDESTROY) {
      sawNcDestroy = true;
      procedureAtEnd = GetWindowLongPtrW(window, GWLP_WNDPROC);
      propertyAtEnd = GetPropW(window, WindowBase::kPropertyName);
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  static inline bool sawNcDestroy = false;
  static inline LONG_PTR procedureAtEnd = 0;
  static inline HANDLE propertyAtEnd = nullptr;
};

class ControlClass {
 public:
  ControlClass() {
    WNDCLASSEXW c = {};
    c.cbSize = sizeof(c);
    c.lpfnWndProc = &ControlSpy::Procedure;
    c.hInstance = Instance();
    c.lpszClassName = kName;
    RegisterClassExW(&c);
  }
  ~ControlClass() { UnregisterClassW(kName, Instance()); }
  static constexpr const wchar_t* kName = L"KalvexTestControl";
};

// An in-memory dialog template: a caption and, optionally, one button.
std::vector<WORD> DialogTemplate(const wchar_t* caption, bool withButton) {
  std::vector<WORD> t;
  auto dword = [&](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  auto text = [&](const wchar_t* s) {
    for (; *s; ++s) t.push_back(static_cast<WORD>(*s));
    t.push_back(0);
  };
  dword(WS_POPUP | WS_CAPTION | DS_SETFONT);  // style
  dword(0);                                   // extended style
  t.push_back(withButton ? 1 : 0);            // items
  t.push_back(0), t.push_back(0), t.push_back(120), t.push_back(60);
  t.push_back(0);  // no menu
  t.push_back(0);  // the dialog class
  text(caption);
  t.push_back(8);
  text(L"MS Shell Dlg");
  if (withButton) {
    if (t.size() % 2) t.push_back(0);  // items start on a 4-byte boundary
    dword(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON);
    dword(0);
    t.push_back(5), t.push_back(5), t.push_back(50), t.push_back(14);
    t.push_back(100);  // control id
    t.push_back(0xFFFF), t.push_back(0x0080);  // button
    text(L"Button");
    t.push_back(0);  // no creation data
  }
  return t;
}

TEST(WindowBase, BindsARegisteredWindowAtItsFirstCreationMessage) {
  SharedClass windowClass;
  RecordingWindow object;
  HWND window = CreateWindowExW(0, SharedClass::kName, L"Title", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, Instance(), &object);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, object.Window());
  EXPECT_EQ(&object, PropertyOf(window));
  EXPECT_EQ(0, object.IsDialog());
  EXPECT_EQ(nullptr, object.PreviousProcedure()) << "the class already runs the shared procedure";
  ASSERT_FALSE(object.messages.empty());
  EXPECT_EQ(static_cast<UINT>(WM_NCCREATE), object.messages[0]) << "earlier messages get default processing";
  EXPECT_EQ(kHandledResult, SendMessageW(window, kHandled, 0, 0));
  EXPECT_EQ(5, SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) << "unhandled messages reach DefWindowProcW";

  DestroyWindow(window);
  EXPECT_TRUE(object.Saw(WM_DESTROY));
  EXPECT_FALSE(object.Saw(WM_NCDESTROY)) << "unbound right after WM_DESTROY";
  EXPECT_EQ(nullptr, object.Window());
}

TEST(WindowBase, DialogIsNotSubclassedAndLeavesUnhandledMessagesAt0) {
  RecordingWindow object;
  const std::vector<WORD> dialogTemplate = DialogTemplate(L"Dialog", false);
  HWND dialog = CreateDialogIndirectParamW(Instance(), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
                                           nullptr, reinterpret_cast<DLGPROC>(&WindowBase::SharedProcedure),
                                           reinterpret_cast<LPARAM>(&object));
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(dialog, object.Window());
  EXPECT_EQ(&object, PropertyOf(dialog));
  EXPECT_EQ(1, object.IsDialog());
  EXPECT_EQ(nullptr, object.PreviousProcedure());
  EXPECT_EQ(SharedAddress(), GetWindowLongPtrW(dialog, DWLP_DLGPROC));
  ASSERT_FALSE(object.messages.empty());
  EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), object.messages[0]);
  EXPECT_EQ(0, object.DefaultProcessing(dialog, WM_GETTEXTLENGTH, 0, 0)) << "a dialog's default is 'not handled'";
  EXPECT_EQ(0, WindowBase::SharedProcedure(dialog, WM_USER + 9, 0, 0));
  EXPECT_EQ(kHandledResult, WindowBase::SharedProcedure(dialog, kHandled, 0, 0));

  DestroyWindow(dialog);
  EXPECT_TRUE(object.Saw(WM_DESTROY));
  EXPECT_EQ(nullptr, object.Window());
}

TEST(WindowBase, SubclassedControlGetsItsProcedureBackAndTheObjectOutlivesIt) {
  ControlClass controlClass;
  SharedClass windowClass;
  HWND control = CreateWindowExW(0, ControlClass::kName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Instance(),
                                 nullptr);
  ASSERT_NE(nullptr, control);
  const LONG_PTR ownProcedure = GetWindowLongPtrW(control, GWLP_WNDPROC);

  RecordingWindow object;
  EXPECT_EQ(1, object.Attach(control));
  EXPECT_EQ(SharedAddress(), GetWindowLongPtrW(control, GWLP_WNDPROC));
  EXPECT_EQ(ownProcedure, reinterpret_cast<LONG_PTR>(object.PreviousProcedure()));
  EXPECT_EQ(0, object.IsDialog());
  EXPECT_EQ(kHandledResult, SendMessageW(control, kHandled, 0, 0));
  EXPECT_EQ(kControlResult, SendMessageW(control, kControlOnly, 0, 0)) << "default processing calls the former procedure";

  ControlSpy::sawNcDestroy = false;
  DestroyWindow(control);
  EXPECT_TRUE(object.Saw(WM_DESTROY));
  ASSERT_TRUE(ControlSpy::sawNcDestroy) << "the control's own procedure gets the last message itself";
  EXPECT_EQ(ownProcedure, ControlSpy::procedureAtEnd) << "procedure restored after WM_DESTROY";
  EXPECT_EQ(nullptr, ControlSpy::propertyAtEnd) << "property removed after WM_DESTROY";
  EXPECT_EQ(nullptr, object.Window());
  EXPECT_EQ(nullptr, object.PreviousProcedure());

  // The same object later binds a registered window, and keeps nothing of the control.
  object.messages.clear();
  HWND window = CreateWindowExW(0, SharedClass::kName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Instance(),
                                &object);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, object.Window());
  EXPECT_EQ(nullptr, object.PreviousProcedure());
  EXPECT_EQ(0, SendMessageW(window, kControlOnly, 0, 0)) << "DefWindowProcW, not the former control's procedure";
  DestroyWindow(window);
}

TEST(WindowBase, ControlWithExtraBytesIsNoDialog) {
  // A button keeps its state and font in the class's extra bytes, where a
  // dialog keeps its procedure: binding must neither take it for a dialog
  // nor overwrite those bytes.
  HWND button = CreateWindowExW(0, L"BUTTON", L"Press", WS_POPUP | BS_PUSHBUTTON, 0, 0, 60, 20, nullptr, nullptr,
                                Instance(), nullptr);
  ASSERT_NE(nullptr, button);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const LONG_PTR buttonProcedure = GetWindowLongPtrW(button, GWLP_WNDPROC);

  RecordingWindow object;
  EXPECT_EQ(1, object.Attach(button));
  EXPECT_EQ(0, object.IsDialog());
  EXPECT_EQ(SharedAddress(), GetWindowLongPtrW(button, GWLP_WNDPROC));
  EXPECT_EQ(buttonProcedure, reinterpret_cast<LONG_PTR>(object.PreviousProcedure()));
  EXPECT_EQ(reinterpret_cast<LRESULT>(font), SendMessageW(button, WM_GETFONT, 0, 0)) << "the button's font is intact";
  wchar_t text[16] = {};
  EXPECT_EQ(5, SendMessageW(button, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text)));
  DestroyWindow(button);
  EXPECT_EQ(nullptr, object.Window());
}

TEST(WindowBase, AttachAndDetachOfNothingChangeNothing) {
  RecordingWindow object;
  EXPECT_EQ(0, object.Attach(nullptr));
  EXPECT_EQ(nullptr, object.Window());
  EXPECT_EQ(0, object.Detach());
  HWND unbound = CreateWindowExW(0, L"STATIC", L"abc", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Instance(), nullptr);
  ASSERT_NE(nullptr, unbound);
  // A window that carries no object is served by DefWindowProcW.
  EXPECT_EQ(3, WindowBase::SharedProcedure(unbound, WM_GETTEXTLENGTH, 0, 0));
  EXPECT_EQ(nullptr, WindowBase::FromWindow(unbound));
  DestroyWindow(unbound);
}

TEST(WindowBase, PropertyPageIsBoundWithoutSubclassing) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const std::vector<WORD> pageTemplate = DialogTemplate(L"Page", true);
  RecordingWindow object;
  PROPSHEETPAGEW page = {};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DLGINDIRECT;
  page.hInstance = Instance();
  page.pResource = reinterpret_cast<const DLGTEMPLATE*>(pageTemplate.data());
  page.pfnDlgProc = &WindowBase::PropertyPageProcedure;
  page.lParam = reinterpret_cast<LPARAM>(&object);
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW;
  header.hInstance = Instance();
  header.pszCaption = L"Sheet";
  header.nPages = 1;
  header.ppsp = &page;
  HWND sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
  ASSERT_NE(nullptr, sheet);
  HWND pageWindow = PropSheet_GetCurrentPageHwnd(sheet);
  ASSERT_NE(nullptr, pageWindow);
  EXPECT_EQ(pageWindow, object.Window());
  EXPECT_EQ(&object, PropertyOf(pageWindow));
  EXPECT_EQ(1, object.IsDialog());
  EXPECT_EQ(nullptr, object.PreviousProcedure());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&WindowBase::PropertyPageProcedure), GetWindowLongPtrW(pageWindow, DWLP_DLGPROC));
  ASSERT_FALSE(object.messages.empty());
  EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), object.messages[0]);

  DestroyWindow(sheet);
  EXPECT_TRUE(object.Saw(WM_DESTROY));
  EXPECT_EQ(nullptr, object.Window());
}

}  // namespace
