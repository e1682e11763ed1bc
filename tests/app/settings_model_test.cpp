// The settings model over the real registry. Two scratch keys stand for the
// machine root and the user root: the model looks "Software\VELMORA\Miravel"
// up under whichever root it is given.
#include <gtest/gtest.h>

#include "app/win32_test_support.h"
#include "core/process_list.h"
#include "core/settings_model.h"

namespace {

using test_support::ScratchKey;

const std::wstring kTop = L"Software\\VELMORA\\Miravel";
const std::wstring kEc = kTop + L"\\EC";
const std::wstring kArray = kTop + L"\\MicAry";

struct Field {
  const char* name;
  int32_t SettingsModel::*field;
  int32_t defaultValue;
};

const Field kFields[] = {
    {"MicVolume", &SettingsModel::MicVolume, -1},
    {"SpeakerVolume", &SettingsModel::SpeakerVolume, -1},
    {"OutMasterVolume", &SettingsModel::OutMasterVolume, -1},
    {"MicBoost", &SettingsModel::MicBoost, 1},
    {"RefDelay", &SettingsModel::RefDelay, 0},
    {"MinMicVolume", &SettingsModel::MinMicVolume, 10},
    {"upper limit", &SettingsModel::MicVolumeUpperLimit, 50},
    {"EcState", &SettingsModel::EcState, 1},
    {"TrayIcon", &SettingsModel::TrayIcon, 1},
    {"IgnoreHwVolume", &SettingsModel::IgnoreHwVolume, 1},
    {"AdjustVolume", &SettingsModel::AdjustVolume, 1},
    {"MaState", &SettingsModel::MaState, 1},
    {"BeamDir", &SettingsModel::BeamDir, 0},
    {"BeamTrk", &SettingsModel::BeamTrk, 15},
    {"HandsFreeMode", &SettingsModel::HandsFreeMode, 1},
    {"AppAssociation", &SettingsModel::AppAssociation, 1},
    {"ShowAssociationBalloon", &SettingsModel::ShowAssociationBalloon, 1},
    {"SwapChannel", &SettingsModel::SwapChannel, 0},
};

class SettingsModelTest : public testing::Test {
 protected:
  void Put(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
    test_support::WriteDword(root, path.c_str(), name, value);
  }
  // The value stored under the user root, or none.
  bool Stored(const std::wstring& path, const wchar_t* name, DWORD& value) {
    return test_support::ReadDword(user.Key(), path.c_str(), name, value);
  }

  ScratchKey machine{L"Machine"};
  ScratchKey user{L"User"};
  ProcessList list;
  SettingsModel model{&list, machine.Key()};
};

TEST_F(SettingsModelTest, WithoutKeysTheDefaultsHold) {
  EXPECT_EQ(0, model.Load(machine.Key()));
  EXPECT_EQ(0, model.Load(user.Key()));
  for (const Field& f : kFields) EXPECT_EQ(f.defaultValue, model.*f.field) << f.name;
  EXPECT_TRUE(list.Entries().empty());
  EXPECT_EQ(0, model.featureFlags.MicArraySupported());
  EXPECT_EQ(1, model.featureFlags.NoiseCancelSupported());
}

TEST_F(SettingsModelTest, UserValuesOverrideMachineValues) {
  Put(machine.Key(), kTop, L"HandsFreeMode", 0);
  Put(machine.Key(), kTop, L"TrayIcon", 0);
  Put(machine.Key(), kEc, L"EcState", 0);
  Put(machine.Key(), kEc, L"MicVolume", 40);
  Put(machine.Key(), kArray, L"BeamTrk", 7);
  Put(user.Key(), kTop, L"HandsFreeMode", 1);
  Put(user.Key(), kEc, L"MicVolume", 60);
  Put(user.Key(), kArray, L"BeamTrk", 9);
  Put(user.Key(), kArray, L"SwapChannel", 2);
  model.Load(machine.Key());
  model.Load(user.Key());
  struct Case {
    const char* name;
    int32_t actual, expected;
  } const cases[] = {
      {"HandsFreeMode", model.HandsFreeMode, 1},  // user over machine
      {"TrayIcon", model.TrayIcon, 0},            // machine only
      {"EcState", model.EcState, 0},
      {"MicVolume", model.MicVolume, 60},
      {"BeamTrk", model.BeamTrk, 9},
      {"SwapChannel", model.SwapChannel, 2},      // user only
      {"AdjustVolume", model.AdjustVolume, 1},    // neither: the default
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, c.actual) << c.name;
}

TEST_F(SettingsModelTest, FirstSaveCopiesMachineValuesExceptTheNeverWrittenOnes) {
  Put(machine.Key(), kTop, L"TrayIcon", 0);
  Put(machine.Key(), kEc, L"MicVolume", 33);
  Put(machine.Key(), kEc, L"RefDelay", 7);
  Put(machine.Key(), kEc, L"MinMicVolume", 20);
  Put(machine.Key(), kArray, L"BeamDir", 45);
  model.Load(machine.Key());
  model.Load(user.Key());
  ASSERT_EQ(1, model.Save(user.Key()));

  struct Case {
    const std::wstring* path;
    const wchar_t* name;
    DWORD expected;
  } const written[] = {
      {&kTop, L"HandsFreeMode", 1}, {&kTop, L"TrayIcon", 0}, {&kTop, L"AppAssociation", 1},
      {&kTop, L"ShowAssociationBalloon", 1},
      {&kEc, L"IgnoreHwVolume", 1}, {&kEc, L"AdjustVolume", 1}, {&kEc, L"EcState", 1}, {&kEc, L"MicVolume", 33},
      {&kEc, L"MicBoost", 1}, {&kEc, L"SpeakerVolume", 0xFFFFFFFFu}, {&kEc, L"OutMasterVolume", 0xFFFFFFFFu},
      {&kArray, L"MaState", 1}, {&kArray, L"BeamDir", 45}, {&kArray, L"BeamTrk", 15}, {&kArray, L"SwapChannel", 0},
  };
  for (const Case& c : written) {
    DWORD value = 0xdeadbeef;
    EXPECT_TRUE(Stored(*c.path, c.name, value)) << testing::PrintToString(std::wstring(c.name)) << " is saved";
    EXPECT_EQ(c.expected, value) << testing::PrintToString(std::wstring(c.name));
  }
  for (const wchar_t* never : {L"RefDelay", L"MinMicVolume"}) {
    DWORD value = 0;
    EXPECT_FALSE(Stored(kEc, never, value)) << testing::PrintToString(std::wstring(never)) << " is never written";
  }
  DWORD value = 0;
  EXPECT_FALSE(Stored(kTop, L"MicArraySupported", value)) << "feature flags are never written";
}

TEST_F(SettingsModelTest, VolumeLimitsFollowMinMicVolume) {
  struct Case {
    const char* name;
    bool ecKey;
    bool minPresent;
    int32_t lower, upper;
  } const cases[] = {
      {"subkey EC missing", false, false, 10, 50},
      {"EC without MinMicVolume", true, false, 10, 50},
      {"MinMicVolume present", true, true, 25, 25},  // both limits take its value
  };
  for (const Case& c : cases) {
    ScratchKey root{L"Limits"};
    Put(root.Key(), kTop, L"TrayIcon", 1);
    if (c.ecKey) Put(root.Key(), kEc, L"AdjustVolume", 1);
    if (c.minPresent) Put(root.Key(), kEc, L"MinMicVolume", 25);
    ProcessList noList;
    SettingsModel fresh(&noList, root.Key());
    fresh.Load(root.Key());
    EXPECT_EQ(c.lower, fresh.MinMicVolume) << c.name;
    EXPECT_EQ(c.upper, fresh.MicVolumeUpperLimit) << c.name;
  }
}

TEST_F(SettingsModelTest, SaveFailsWhereTheRootCannotBeWritten) {
  // Wine does not refuse subkeys under a key opened for reading, so the root
  // here is a handle that is no longer open.
  HKEY closed = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, user.Path().c_str(), 0, KEY_READ, &closed));
  RegCloseKey(closed);
  EXPECT_EQ(0, model.Save(closed));
  HKEY probe = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(user.Key(), kTop.c_str(), 0, KEY_READ, &probe));
}

TEST_F(SettingsModelTest, ListLoadsWithTheModelMachineFirst) {
  const std::wstring kList = kTop + L"\\ProcessList";
  Put(machine.Key(), kList, L"C:\\apps\\a.exe", 1);
  Put(machine.Key(), kList, L"C:\\apps\\b.exe", 1);
  Put(machine.Key(), kList, L"C:\\Apps\\Talk.exe", 1);
  Put(user.Key(), kList, L"C:\\apps\\a.exe", 2);
  Put(user.Key(), kList, L"C:\\apps\\c.exe", 1);
  Put(user.Key(), kList, L"c:\\apps\\talk.exe", 2);
  model.Load(machine.Key());
  model.Load(user.Key());
  struct Case {
    const wchar_t* path;
    int32_t state;
  } const expected[] = {
      {L"C:\\apps\\a.exe", 2},      // the user's state, loaded second into the same entry
      {L"C:\\apps\\b.exe", 1},
      {L"C:\\Apps\\Talk.exe", 1},
      {L"C:\\apps\\c.exe", 1},      // user entries come after the machine's
      {L"c:\\apps\\talk.exe", 2},   // another letter case is another entry
  };
  ASSERT_EQ(std::size(expected), list.Entries().size());
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(expected[i].path, list.Entries()[i].path) << "entry " << i;
    EXPECT_EQ(expected[i].state, list.Entries()[i].state) << "entry " << i;
  }
  EXPECT_EQ(1, list.LookupPath(L"C:\\APPS\\TALK.EXE")) << "lookup answers the first of the two";

  ASSERT_EQ(1, model.Save(user.Key()));
  DWORD state = 0;
  EXPECT_TRUE(Stored(kList, L"C:\\apps\\b.exe", state)) << "saved with the model";
  EXPECT_EQ(1u, state);
}

TEST_F(SettingsModelTest, FeatureFlagsAreReadOnceFromTheMachineRoot) {
  Put(machine.Key(), kTop, L"MicArraySupported", 1);
  Put(machine.Key(), kTop, L"NoiseCancelSupported", 0);
  FeatureFlags flags(machine.Key());
  EXPECT_EQ(1, flags.MicArraySupported());
  Put(machine.Key(), kTop, L"MicArraySupported", 0);
  Put(machine.Key(), kTop, L"NoiseCancelSupported", 1);
  EXPECT_EQ(1, flags.MicArraySupported()) << "kept for the life of the object";
  EXPECT_EQ(0, flags.NoiseCancelSupported()) << "loaded together with the first";

  FeatureFlags onlyOne(machine.Key());
  Put(machine.Key(), kTop, L"MicArraySupported", 1);
  RegDeleteKeyValueW(machine.Key(), kTop.c_str(), L"NoiseCancelSupported");
  EXPECT_EQ(1, onlyOne.NoiseCancelSupported()) << "a missing flag keeps its default";
  EXPECT_EQ(1, onlyOne.MicArraySupported());
}

}  // namespace
