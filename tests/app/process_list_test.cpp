#include <gtest/gtest.h>

#include <string>

#include "app/win32_test_support.h"
#include "core/process_list.h"
#include "core/settings_store.h"

namespace {

using test_support::ScratchKey;

TEST(ProcessList, SetStateMatchesExactPathsOnly) {
  ProcessList list;
  list.SetState(L"C:\\Apps\\Talk.exe", 1);
  list.SetState(L"C:\\Apps\\Talk.exe", 2);  // same code units: the same entry
  list.SetState(L"c:\\apps\\talk.exe", 1);  // another letter case: a new entry
  list.SetState(L"C:\\Apps\\Talk.ex", 1);   // a prefix: a new entry
  ASSERT_EQ(3u, list.Entries().size());
  EXPECT_EQ(L"C:\\Apps\\Talk.exe", list.Entries()[0].path);
  EXPECT_EQ(2, list.Entries()[0].state);
  EXPECT_EQ(L"c:\\apps\\talk.exe", list.Entries()[1].path);
  EXPECT_EQ(L"C:\\Apps\\Talk.ex", list.Entries()[2].path);
}

TEST(ProcessList, LookupIgnoresTheCaseOfAsciiLettersAndTakesTheFirstEntry) {
  ProcessList list;
  list.SetState(L"C:\\Apps\\Talk.exe", 2);
  list.SetState(L"c:\\apps\\TALK.EXE", 1);
  list.SetState(L"C:\\\x00C4rger.exe", 1);  // A with diaeresis
  struct Case {
    const wchar_t* path;
    int32_t expected;
  } const cases[] = {
      {L"C:\\Apps\\Talk.exe", 2},
      {L"c:\\APPS\\talk.EXE", 2},     // the first entry in list order answers
      {L"C:\\Apps\\Talk.ex", 0},      // a prefix is another path
      {L"C:\\Apps\\Talk.exe2", 0},
      {L"C:\\\x00C4rger.exe", 1},
      {L"C:\\\x00E4rger.exe", 0},     // only A to Z are folded
      {L"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, list.LookupPath(c.path)) << testing::PrintToString(std::wstring(c.path));
}

TEST(ProcessList, GrowsInStepsOf32Entries) {
  ProcessList list;
  EXPECT_EQ(0u, list.Capacity());
  for (int i = 1; i <= 65; ++i) {
    list.SetState((L"C:\\app" + std::to_wstring(i) + L".exe").c_str(), 1);
    const size_t expected = (static_cast<size_t>(i) + 31) / 32 * 32;
    ASSERT_EQ(expected, list.Capacity()) << "after " << i << " entries";
  }
}

TEST(ProcessList, LookupProcessFindsTheExecutableOfAProcess) {
  wchar_t ownPath[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
  std::wstring upper(ownPath);
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  ProcessList list;
  EXPECT_EQ(0, list.LookupProcess(GetCurrentProcessId())) << "not listed yet";
  list.SetState(upper.c_str(), 1);
  EXPECT_EQ(1, list.LookupProcess(GetCurrentProcessId()));
  EXPECT_EQ(0, list.LookupProcess(0xFFFFFFF0u)) << "a process that does not exist gives no path";
}

class ProcessListRegistryTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, settingsKey.Open(scratch.Key(), L"", KEY_READ | KEY_WRITE)); }

  ScratchKey scratch{L"ProcessList"};
  SettingsStore settingsKey;  // stands for "Software\VELMORA\Miravel"
};

TEST_F(ProcessListRegistryTest, LoadStopsAtTheFirstValueThatCannotBeRead) {
  const uint8_t eight[8] = {};
  const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x') + L".exe";  // more than 260 characters
  // Names in the same order by creation and by name: Wine enumerates sorted.
  test_support::WriteDword(scratch.Key(), L"ProcessList", L"C:\\a.exe", 1);
  test_support::WriteDword(scratch.Key(), L"ProcessList", L"C:\\b.exe", 2);
  test_support::WriteRaw(scratch.Key(), L"ProcessList", L"C:\\c.exe", REG_BINARY, eight, sizeof(eight));
  test_support::WriteDword(scratch.Key(), L"ProcessList", L"C:\\d.exe", 1);
  ProcessList list;
  list.LoadList(settingsKey);
  ASSERT_EQ(2u, list.Entries().size()) << "the 8-byte value ends the load";
  EXPECT_EQ(L"C:\\a.exe", list.Entries()[0].path);
  EXPECT_EQ(1, list.Entries()[0].state);
  EXPECT_EQ(L"C:\\b.exe", list.Entries()[1].path);
  EXPECT_EQ(2, list.Entries()[1].state);

  ScratchKey other{L"ProcessListLong"};
  test_support::WriteDword(other.Key(), L"ProcessList", tooLong.c_str(), 1);
  test_support::WriteDword(other.Key(), L"ProcessList", L"C:\\z.exe", 1);
  SettingsStore otherKey;
  ASSERT_EQ(0, otherKey.Open(other.Key(), L"", KEY_READ));
  ProcessList second;
  second.LoadList(otherKey);
  EXPECT_TRUE(second.Entries().empty()) << "a name longer than the buffer ends the load";

  ProcessList none;
  SettingsStore empty;
  none.LoadList(empty);
  EXPECT_TRUE(none.Entries().empty());
}

TEST_F(ProcessListRegistryTest, SaveReplacesTheSubkey) {
  test_support::WriteDword(scratch.Key(), L"ProcessList", L"C:\\stale.exe", 1);
  test_support::WriteDword(scratch.Key(), L"ProcessList\\Nested", L"v", 1);
  ProcessList list;
  list.SetState(L"C:\\z.exe", 2);
  list.SetState(L"C:\\a.exe", 1);
  ASSERT_EQ(1, list.SaveList(settingsKey));

  ProcessList reloaded;
  reloaded.LoadList(settingsKey);
  ASSERT_EQ(2u, reloaded.Entries().size()) << "only the list's entries: the stale one is gone";
  EXPECT_EQ(2, reloaded.LookupPath(L"C:\\z.exe"));
  EXPECT_EQ(1, reloaded.LookupPath(L"C:\\a.exe"));
  SettingsStore saved;
  ASSERT_EQ(0, settingsKey.OpenSubkey(saved, L"ProcessList"));
  SettingsStore nested;
  EXPECT_EQ(static_cast<int32_t>(ERROR_FILE_NOT_FOUND), saved.OpenSubkey(nested, L"Nested"));
  EXPECT_EQ(0, settingsKey.WriteDword(L"still", 1)) << "the settings key was only borrowed";
}

TEST_F(ProcessListRegistryTest, PathsInTwoLetterCasesShareOneRegistryValue) {
  // Value names ignore letter case: the later entry's state is what is stored,
  // under the first entry's spelling.
  ProcessList list;
  list.SetState(L"C:\\Talk.exe", 1);
  list.SetState(L"c:\\talk.EXE", 2);
  ASSERT_EQ(1, list.SaveList(settingsKey));
  ProcessList reloaded;
  reloaded.LoadList(settingsKey);
  ASSERT_EQ(1u, reloaded.Entries().size());
  EXPECT_EQ(L"C:\\Talk.exe", reloaded.Entries()[0].path);
  EXPECT_EQ(2, reloaded.Entries()[0].state);
}

TEST_F(ProcessListRegistryTest, SaveFailsWithoutAWritableKey) {
  ProcessList list;
  list.SetState(L"C:\\a.exe", 1);
  SettingsStore empty;
  EXPECT_EQ(0, list.SaveList(empty));
  HKEY closed = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(scratch.Key(), L"", 0, KEY_READ, &closed));
  RegCloseKey(closed);
  SettingsStore gone;
  gone.Attach(closed);
  EXPECT_EQ(0, list.SaveList(gone)) << "a key that is no longer open";
  gone.Detach();
}

}  // namespace
