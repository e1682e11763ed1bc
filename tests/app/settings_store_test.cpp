// The settings store over the real registry, in a scratch key.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include "app/win32_test_support.h"
#include "core/settings_store.h"

namespace {

using test_support::ScratchKey;

constexpr int32_t kSentinel = static_cast<int32_t>(0xdeadbeef);

class SettingsStoreTest : public testing::Test {
 protected:
  ScratchKey scratch{L"SettingsStore"};
};

TEST_F(SettingsStoreTest, EmptyStoreAnswersMisuseAndChangesNothing) {
  SettingsStore store;
  EXPECT_EQ(static_cast<int32_t>(ERROR_FILE_NOT_FOUND), store.Open(scratch.Key(), L"missing", KEY_READ));
  EXPECT_EQ(nullptr, store.Key()) << "a failed open leaves the store empty";

  int32_t value = kSentinel;
  wchar_t text[8] = {L'x', 0};
  DWORD size = sizeof(text);
  DWORD length = 8;
  SettingsStore child;
  EXPECT_EQ(-1, store.ReadDword(L"v", value));
  EXPECT_EQ(-1, store.WriteDword(L"v", 1));
  EXPECT_EQ(-1, store.ReadString(L"v", text, size));
  EXPECT_EQ(-1, store.EnumValueName(0, text, length));
  EXPECT_EQ(-1, store.DeleteSubkey(L"v"));
  EXPECT_EQ(-1, store.OpenSubkey(child, L"v"));
  EXPECT_EQ(-1, store.CreateSubkey(child, L"v"));
  EXPECT_EQ(0, store.Close()) << "closing an empty store succeeds";
  EXPECT_EQ(kSentinel, value);
  EXPECT_EQ(L'x', text[0]);
  EXPECT_EQ(nullptr, child.Key());
  HKEY probe = nullptr;
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(scratch.Key(), L"v", 0, KEY_READ, &probe)) << "nothing was created";
}

TEST_F(SettingsStoreTest, OpenOnAHeldKeyAnswersMisuseAndKeepsTheFirstKey) {
  SettingsStore store;
  ASSERT_EQ(0, store.Create(scratch.Key(), L"first", KEY_READ | KEY_WRITE));
  HKEY first = store.Key();
  ASSERT_EQ(0, store.WriteDword(L"marker", 1));
  test_support::WriteDword(scratch.Key(), L"second", L"marker", 2);
  EXPECT_EQ(-1, store.Open(scratch.Key(), L"second", KEY_READ));
  EXPECT_EQ(-1, store.Create(scratch.Key(), L"second", KEY_READ));
  EXPECT_EQ(first, store.Key());
  int32_t marker = 0;
  EXPECT_EQ(0, store.ReadDword(L"marker", marker));
  EXPECT_EQ(1, marker) << "still the first key";
}

TEST_F(SettingsStoreTest, ReadDwordTakesAnyValueOfAtMostFourBytes) {
  const uint8_t two[] = {0x34, 0x12};
  const uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
  test_support::WriteRaw(scratch.Key(), L"", L"dword", REG_DWORD, "\x78\x56\x34\x12", 4);
  test_support::WriteRaw(scratch.Key(), L"", L"two", REG_BINARY, two, sizeof(two));
  test_support::WriteRaw(scratch.Key(), L"", L"text", REG_SZ, L"A", 4);  // 'A' and the terminator
  test_support::WriteRaw(scratch.Key(), L"", L"eight", REG_BINARY, eight, sizeof(eight));
  struct Case {
    const wchar_t* name;
    int32_t status;
    int32_t value;  // the output afterwards
  } const cases[] = {
      {L"dword", 0, 0x12345678},
      {L"two", 0, 0x1234},  // raw bytes, zero-extended
      {L"text", 0, 0x41},   // the type is not examined
      {L"eight", ERROR_MORE_DATA, kSentinel},
      {L"missing", ERROR_FILE_NOT_FOUND, kSentinel},
  };
  SettingsStore store;
  ASSERT_EQ(0, store.Open(scratch.Key(), L"", KEY_READ));
  for (const Case& c : cases) {
    int32_t value = kSentinel;
    EXPECT_EQ(c.status, store.ReadDword(c.name, value)) << "value " << testing::PrintToString(std::wstring(c.name));
    EXPECT_EQ(c.value, value) << "value " << testing::PrintToString(std::wstring(c.name));
  }
}

TEST_F(SettingsStoreTest, WriteDwordStoresARegDword) {
  SettingsStore store;
  ASSERT_EQ(0, store.Open(scratch.Key(), L"", KEY_READ | KEY_WRITE));
  ASSERT_EQ(0, store.WriteDword(L"negative", -1));
  DWORD type = 0, data = 0, size = sizeof(data);
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(scratch.Key(), L"negative", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);
  EXPECT_EQ(0xFFFFFFFFu, data);
}

TEST_F(SettingsStoreTest, SubkeysTakeTheParentsAccess) {
  test_support::WriteDword(scratch.Key(), L"child", L"v", 7);
  SettingsStore readOnly;
  ASSERT_EQ(0, readOnly.Open(scratch.Key(), L"", KEY_READ));
  SettingsStore child;
  ASSERT_EQ(0, readOnly.OpenSubkey(child, L"child"));
  EXPECT_EQ(static_cast<REGSAM>(KEY_READ), child.Access());
  int32_t value = 0;
  EXPECT_EQ(0, child.ReadDword(L"v", value));
  EXPECT_EQ(7, value);
  EXPECT_EQ(static_cast<int32_t>(ERROR_ACCESS_DENIED), child.WriteDword(L"v", 8)) << "opened for reading only";

  SettingsStore writable;
  ASSERT_EQ(0, writable.Open(scratch.Key(), L"", KEY_READ | KEY_WRITE));
  SettingsStore created;
  ASSERT_EQ(0, writable.CreateSubkey(created, L"new\\deeper"));
  EXPECT_EQ(0, created.WriteDword(L"v", 9));
  SettingsStore busy;
  ASSERT_EQ(0, busy.Open(scratch.Key(), L"child", KEY_READ));
  EXPECT_EQ(-1, writable.OpenSubkey(busy, L"new")) << "the child must be empty";
}

TEST_F(SettingsStoreTest, ReadStringAlwaysTerminates) {
  test_support::WriteRaw(scratch.Key(), L"", L"fits", REG_SZ, L"abc", 8);
  test_support::WriteRaw(scratch.Key(), L"", L"unterminated", REG_BINARY, L"abc", 6);
  test_support::WriteRaw(scratch.Key(), L"", L"full", REG_BINARY, L"abcdefgh", 16);  // fills 8 characters
  test_support::WriteRaw(scratch.Key(), L"", L"long", REG_SZ, L"abcdefghijk", 24);
  struct Case {
    const wchar_t* name;
    int32_t status;
    const wchar_t* text;  // the buffer afterwards, when the read succeeded or was cut
  } const cases[] = {
      {L"fits", 0, L"abc"},
      {L"unterminated", 0, L"abc"},
      {L"full", ERROR_MORE_DATA, L"abcdefg"},
      {L"long", ERROR_MORE_DATA, nullptr},
      {L"missing", ERROR_FILE_NOT_FOUND, nullptr},
  };
  SettingsStore store;
  ASSERT_EQ(0, store.Open(scratch.Key(), L"", KEY_READ));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    wchar_t buffer[9];
    wmemset(buffer, L'#', 9);  // the ninth is a canary after the 8 offered
    DWORD size = 8 * sizeof(wchar_t);
    EXPECT_EQ(c.status, store.ReadString(c.name, buffer, size));
    EXPECT_EQ(L'#', buffer[8]) << "nothing written past the buffer";
    if (c.text) {
      EXPECT_EQ(std::wstring(c.text), std::wstring(buffer));
    }
  }
}

TEST_F(SettingsStoreTest, EnumeratesValueNamesAndDeletesSubkeyTrees) {
  test_support::WriteDword(scratch.Key(), L"", L"first", 1);
  test_support::WriteDword(scratch.Key(), L"", L"second", 2);
  test_support::WriteDword(scratch.Key(), L"tree\\branch\\leaf", L"v", 3);
  SettingsStore store;
  ASSERT_EQ(0, store.Open(scratch.Key(), L"", KEY_READ | KEY_WRITE));
  wchar_t name[16];
  DWORD length = 16;
  ASSERT_EQ(0, store.EnumValueName(0, name, length));
  EXPECT_EQ(std::wstring(L"first"), std::wstring(name));
  EXPECT_EQ(5u, length);
  length = 16;
  ASSERT_EQ(0, store.EnumValueName(1, name, length));
  EXPECT_EQ(std::wstring(L"second"), std::wstring(name));
  length = 16;
  EXPECT_EQ(static_cast<int32_t>(ERROR_NO_MORE_ITEMS), store.EnumValueName(2, name, length));
  length = 3;
  EXPECT_EQ(static_cast<int32_t>(ERROR_MORE_DATA), store.EnumValueName(1, name, length)) << "name longer than the buffer";

  EXPECT_EQ(0, store.DeleteSubkey(L"tree"));
  HKEY probe = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(scratch.Key(), L"tree", 0, KEY_READ, &probe));
  EXPECT_EQ(static_cast<int32_t>(ERROR_FILE_NOT_FOUND), store.DeleteSubkey(L"tree"));
}

TEST_F(SettingsStoreTest, BorrowedKeysAreNeverClosed) {
  test_support::WriteDword(scratch.Key(), L"", L"v", 5);
  SettingsStore owner;
  ASSERT_EQ(0, owner.Open(scratch.Key(), L"", KEY_READ | KEY_WRITE));
  {
    SettingsStore borrower;
    EXPECT_EQ(1, borrower.Attach(owner.Key()));
    EXPECT_TRUE(borrower.IsBorrowed());
    EXPECT_EQ(0, borrower.Attach(scratch.Key())) << "a store that holds a key attaches no other";
    EXPECT_EQ(owner.Key(), borrower.Key());
    EXPECT_EQ(0, borrower.Close()) << "closing a borrowed key only forgets it";
    EXPECT_EQ(nullptr, borrower.Key());
    EXPECT_EQ(1, borrower.Attach(owner.Key()));
  }  // destruction of a borrower closes nothing
  {
    SettingsStore borrower;
    borrower.Attach(owner.Key());
    borrower.Detach();
    EXPECT_EQ(nullptr, borrower.Key());
    EXPECT_FALSE(borrower.IsBorrowed());
  }
  int32_t value = 0;
  EXPECT_EQ(0, owner.ReadDword(L"v", value)) << "the owner's key is still open";
  EXPECT_EQ(5, value);
  EXPECT_EQ(0, owner.Close());
  EXPECT_EQ(nullptr, owner.Key());
}

}  // namespace
