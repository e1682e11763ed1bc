// Ostrel.dll as the application loads it: by bare name, from the programs' folder.
#include <gtest/gtest.h>

#include <string>

#include "core/resource_library.h"
#include "ostrel/ostrel_ids.h"

namespace {

// Every string id the application uses, with the %s placeholders its text
// must hold (a text used as a format is filled with that many strings; any
// other text must hold no conversion at all).
struct StringId {
  UINT id;
  int placeholders;
};

const StringId kStringIds[] = {
    {IDS_ARRAY_TITLE, 0},         {IDS_PRODUCT_ARRAY, 0},       {IDS_PRODUCT, 0},
    {IDS_MAIN_DESCRIPTION, 0},    {IDS_SUB_CAPTION, 0},         {IDS_EC_ON, 0},
    {IDS_EC_OFF, 0},              {IDS_MENU_SETTINGS, 0},       {IDS_MENU_HIDE_ICON, 0},
    {IDS_MENU_ABOUT, 0},          {IDS_MENU_HELP, 0},           {IDS_DETAILS_MORE, 0},
    {IDS_DETAILS_LESS, 0},        {IDS_WARN_CAPTURE_FORMAT, 0}, {IDS_WARN_RENDER_FORMAT, 0},
    {IDS_WARN_USER_MODE_CAPTURE, 0}, {IDS_ARRAY_CAPTION, 0},    {IDS_ARRAY_DESCRIPTION, 0},
    {IDS_ARRAY_ON, 0},            {IDS_ARRAY_OFF, 0},           {IDS_MENU_ARRAY_ON, 0},
    {IDS_MENU_ARRAY_OFF, 0},      {IDS_EC_STREAM, 0},           {IDS_ARRAY_ACTIVE, 0},
    {IDS_SHEET_CAPTION, 0},       {IDS_GENERAL_PAGE_TITLE, 0},  {IDS_COLUMN_PROGRAM, 0},
    {IDS_COLUMN_PATH, 0},         {IDS_DELETE_QUESTION, 1},     {IDS_DELETE_CAPTION, 0},
    {IDS_ASSOCIATION_BALLOON, 2}, {IDS_NO_DEVICE, 1},
};

// The number of %s in the text, or -1 if it holds any other conversion.
int StringPlaceholders(const std::wstring& text) {
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    if (i + 1 < text.size() && text[i + 1] == L's') {
      ++count;
      ++i;
    } else {
      return -1;
    }
  }
  return count;
}

TEST(ResourceLibrary, LoadsOstrelByBareName) {
  ResourceLibrary library;
  ASSERT_NE(nullptr, library.Module());
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(library.Module(), path, MAX_PATH);
  EXPECT_NE(std::wstring::npos, std::wstring(path).find(L"Ostrel.dll")) << "found by the library search";
}

TEST(ResourceLibrary, HoldsEveryStringWithItsPlaceholders) {
  ResourceLibrary library;
  ASSERT_NE(nullptr, library.Module());
  for (const StringId& s : kStringIds) {
    wchar_t buffer[ResourceLibrary::kStringBufferLength];
    const int length = library.LoadString(s.id, buffer);
    EXPECT_GT(length, 0) << "string " << s.id;
    const std::wstring whole = library.LoadWholeString(s.id);
    EXPECT_EQ(std::wstring(buffer), whole) << "string " << s.id;
    EXPECT_EQ(s.placeholders, StringPlaceholders(whole)) << "string " << s.id << ": " << testing::PrintToString(whole);
  }
}

TEST(ResourceLibrary, LoadsLongStringsWhole) {
  ResourceLibrary library;
  // The balloon text is longer than the first buffer of 64 characters.
  wchar_t reference[1024] = {};
  const int length = LoadStringW(library.Module(), IDS_ASSOCIATION_BALLOON, reference, 1024);
  ASSERT_GT(length, ResourceLibrary::kWholeStringFirstLength) << "the fixture needs a long text";
  EXPECT_EQ(std::wstring(reference), library.LoadWholeString(IDS_ASSOCIATION_BALLOON));
  EXPECT_EQ(std::wstring(), library.LoadWholeString(9999)) << "a missing id is empty";
}

TEST(ResourceLibrary, WithoutTheLibraryEveryStringIsEmpty) {
  ResourceLibrary missing(L"KalvexNoSuchLibrary");
  EXPECT_EQ(nullptr, missing.Module());
  wchar_t buffer[ResourceLibrary::kStringBufferLength];
  buffer[0] = L'x';
  EXPECT_EQ(0, missing.LoadString(IDS_PRODUCT, buffer));
  EXPECT_EQ(L'\0', buffer[0]);
  EXPECT_EQ(std::wstring(), missing.LoadWholeString(IDS_PRODUCT));
}

}  // namespace
