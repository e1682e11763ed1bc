// The device clients. Wine has no Kalvex control device, which is the
// missing-device case; the handle policy is shown on a plain file, which
// opens like a device and answers one file-system control code.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>
#include <winioctl.h>

#include <string>

#include "app/win32_test_support.h"
#include "core/device_client.h"

namespace {

constexpr uint8_t kCanary = 0xA5;

template <typename Record>
bool AllCanary(const Record& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  for (size_t i = 0; i < sizeof(record); ++i)
    if (bytes[i] != kCanary) return false;
  return true;
}

TEST(KalvexClient, WithoutTheDeviceEveryCallFailsAndNothingElseHappens) {
  KalvexClient client;
  EXPECT_EQ(std::wstring(L"\\\\.\\Kalvex"), std::wstring(client.Path()));
  memset(&client.ecSettings, kCanary, sizeof(client.ecSettings));
  memset(&client.ecStatus, kCanary, sizeof(client.ecStatus));
  memset(&client.arrayStatus, kCanary, sizeof(client.arrayStatus));
  memset(&client.arraySettings, kCanary, sizeof(client.arraySettings));
  struct Case {
    const char* name;
    BOOL (KalvexClient::*call)();
  } const cases[] = {
      {"ReadEcSettings", &KalvexClient::ReadEcSettings},   {"WriteEcSettings", &KalvexClient::WriteEcSettings},
      {"ReadEcStatus", &KalvexClient::ReadEcStatus},       {"ReadArrayStatus", &KalvexClient::ReadArrayStatus},
      {"ReadArraySettings", &KalvexClient::ReadArraySettings}, {"WriteArraySettings", &KalvexClient::WriteArraySettings},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE((client.*c.call)()) << c.name;
    EXPECT_FALSE(client.IsOpen()) << c.name << " keeps no handle";
  }
  EXPECT_TRUE(AllCanary(client.ecSettings));
  EXPECT_TRUE(AllCanary(client.ecStatus));
  EXPECT_TRUE(AllCanary(client.arrayStatus));
  EXPECT_TRUE(AllCanary(client.arraySettings));
  client.CloseDevice();  // closing without a handle does nothing
  EXPECT_FALSE(client.IsOpen());
}

class DeviceClientTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path = std::wstring(folder) + L"kalvex_device_client_test.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
  }
  void TearDown() override { DeleteFileW(path.c_str()); }

  // Whether the client holds the file: it opens it without sharing.
  bool HeldByClient() {
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
  }

  std::wstring path;
};

// A request that a plain file answers with success, and one it refuses.
constexpr uint32_t kAnsweredCode = FSCTL_SET_SPARSE;
constexpr uint32_t kRefusedCode = IOCTL_EC_GET_SETTINGS;

TEST_F(DeviceClientTest, OpensOnDemandKeepsTheHandleAndClosesOnFailure) {
  DeviceClient client(path.c_str());
  EXPECT_FALSE(client.IsOpen()) << "nothing is opened before the first call";
  EXPECT_FALSE(HeldByClient());

  ASSERT_TRUE(client.Control(kAnsweredCode, nullptr, 0, nullptr, 0));
  EXPECT_TRUE(client.IsOpen()) << "a successful call leaves the device open";
  EXPECT_TRUE(HeldByClient());
  ASSERT_TRUE(client.Control(kAnsweredCode, nullptr, 0, nullptr, 0)) << "the same handle serves the next call";

  uint8_t output[28];
  memset(output, kCanary, sizeof(output));
  EXPECT_FALSE(client.Control(kRefusedCode, nullptr, 0, output, sizeof(output)));
  EXPECT_FALSE(client.IsOpen()) << "a failed call closes the device";
  EXPECT_FALSE(HeldByClient());

  EXPECT_TRUE(client.Control(kAnsweredCode, nullptr, 0, nullptr, 0)) << "the next call opens it again";
  EXPECT_TRUE(HeldByClient());
  client.CloseDevice();
  EXPECT_FALSE(client.IsOpen());
  EXPECT_FALSE(HeldByClient());
}

TEST_F(DeviceClientTest, DestructionClosesTheDevice) {
  {
    DeviceClient client(path.c_str());
    ASSERT_TRUE(client.Control(kAnsweredCode, nullptr, 0, nullptr, 0));
    EXPECT_TRUE(HeldByClient());
  }
  EXPECT_FALSE(HeldByClient());
}

TEST(DeviceClient, KeepsAtMost259CharactersOfItsPath) {
  const std::wstring longPath(400, L'x');
  DeviceClient client(longPath.c_str());
  EXPECT_EQ(longPath.substr(0, DeviceClient::kMaxPathLength - 1), std::wstring(client.Path()));
  EXPECT_FALSE(client.Control(kAnsweredCode, nullptr, 0, nullptr, 0));
  EXPECT_FALSE(client.IsOpen());
}

}  // namespace
