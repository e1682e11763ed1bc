// The hidden main window's creation as far as it goes now: without the
// control device (none under Wine) the window is refused.
#include <gtest/gtest.h>

#include "core/main_controller.h"
#include "core/program_objects.h"

namespace {

TEST(MainController, WithoutTheDeviceTheWindowIsRefusedQuietly) {
  ProcessList list;
  SettingsModel settings(&list);
  KalvexClient client;
  MainController controller(settings, client);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int attempt = 0; attempt < 2; ++attempt) {  // the second finds the class registered
    SCOPED_TRACE(testing::Message() << "attempt " << attempt);
    EXPECT_EQ(nullptr, controller.Create(instance));
    EXPECT_EQ(nullptr, g_mainWindow) << "no dangling main window handle";
    EXPECT_EQ(nullptr, controller.Window());
    EXPECT_FALSE(client.IsOpen()) << "the device is closed after the first read";
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "a refused window posts no quit message, which would end the notice to the user at once";
  }
  WNDCLASSEXW registered = {};
  registered.cbSize = sizeof(registered);
  ASSERT_TRUE(GetClassInfoExW(instance, MainController::kWindowClass, &registered));
  EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), registered.style);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(&WindowBase::SharedProcedure), registered.lpfnWndProc);
  EXPECT_EQ(nullptr, registered.hIcon);
  EXPECT_EQ(nullptr, registered.hCursor);
  EXPECT_EQ(nullptr, registered.hbrBackground);
  UnregisterClassW(MainController::kWindowClass, instance);
}

TEST(ProgramObjects, ComeWithTheLibraryAndTheTaskbarMessage) {
  ProgramObjects objects;
  EXPECT_NE(nullptr, objects.resources.Module()) << "the resource library is loaded with the objects";
  EXPECT_EQ(RegisterWindowMessageW(L"TaskbarCreated"), objects.taskbarCreatedMessage);
  EXPECT_EQ(objects.taskbarCreatedMessage, g_taskbarCreatedMessage);
  EXPECT_NE(0u, objects.taskbarCreatedMessage);
  EXPECT_EQ(1, objects.settings.HandsFreeMode) << "the model starts with its defaults";
  EXPECT_TRUE(objects.processList.Entries().empty());
  EXPECT_FALSE(objects.client.IsOpen());
}

}  // namespace
