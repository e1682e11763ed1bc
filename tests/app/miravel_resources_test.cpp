// Miravel.exe's own file: a GUI program that needs no runtime DLLs, with its
// icons and silent sounds. Loaded as an image resource, not run.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/win32_test_support.h"
#include "resources/miravel_ids.h"

namespace {

class MiravelFile : public testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExW(test_support::MiravelPath().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module);
    // A resource-only mapping is marked in the handle's low bits.
    base = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(module) & ~static_cast<uintptr_t>(3));
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  const IMAGE_NT_HEADERS32* Headers() const {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  }

  HMODULE module = nullptr;
  const uint8_t* base = nullptr;
};

TEST_F(MiravelFile, IsAGuiProgramWithoutRuntimeLibraries) {
  const IMAGE_NT_HEADERS32* nt = Headers();
  EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(0u, imports.VirtualAddress);
  std::vector<std::string> names;
  for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
    names.push_back(reinterpret_cast<const char*>(base + d->Name));
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"})
      EXPECT_EQ(std::string::npos, lower.find(runtime)) << "imports " << name;
  }
}

TEST_F(MiravelFile, HoldsEveryIconAtItsSize) {
  struct Case {
    int id;
    int size;  // pixels, square
  } cases[] = {
      {IDI_APP_ARRAY_ON, 16}, {IDI_APP_ARRAY_ON, 32}, {IDI_TRAY_ON, 16},       {IDI_TRAY_ARRAY_OFF, 16},
      {IDI_TRAY_OFF, 16},     {IDI_HEADER_MAIN, 32},  {IDI_HEADER_ARRAY, 32},  {IDI_TAB_MAIN_HOT, 16},
      {IDI_TAB_MAIN, 16},     {IDI_TAB_ARRAY_HOT, 16}, {IDI_TAB_ARRAY, 16},    {IDI_TAB_OFF_OVERLAY, 16},
      {IDI_STATE_OFF, 32},    {IDI_STATE_ON_ACTIVE, 32}, {IDI_STATE_ON_IDLE, 32}, {IDI_DETAILS_MORE, 16},
      {IDI_DETAILS_LESS, 16}, {IDI_HANDLE_HOT, 24},   {IDI_HANDLE_DRAGGED, 24}, {IDI_HANDLE, 24},
      {IDI_DEVICE_SIDEWAYS, 46}, {IDI_DEVICE_UPRIGHT, 46},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (int id = IDI_STREAM_FRAME_FIRST; id <= IDI_STREAM_FRAME_LAST; ++id) all.push_back({id, 16});
  for (int id = IDI_ARRAY_FRAME_FIRST; id <= IDI_ARRAY_FRAME_LAST; ++id) all.push_back({id, 16});
  for (const Case& c : all) {
    // The icon group must hold an image of exactly this size.
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(c.id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(nullptr, group) << "icon " << c.id;
    const auto* directory = static_cast<const uint8_t*>(LockResource(LoadResource(module, group)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    bool found = false;
    for (WORD i = 0; i < count; ++i) {
      const uint8_t* entry = directory + 6 + 14 * i;  // GRPICONDIRENTRY
      if (entry[0] == c.size && entry[1] == c.size && *reinterpret_cast<const WORD*>(entry + 6) == 32) found = true;
    }
    EXPECT_TRUE(found) << "icon " << c.id << " has a 32-bit image of " << c.size << " pixels";
    HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(c.id), IMAGE_ICON, c.size, c.size, LR_DEFAULTCOLOR);
    EXPECT_NE(nullptr, icon) << "icon " << c.id;
    if (icon) DestroyIcon(static_cast<HICON>(icon));
  }
}

TEST_F(MiravelFile, HoldsTheSilentSounds) {
  struct Case {
    int id;
    uint32_t rate;     // Hz
    uint32_t samples;  // about 6 ms
  } const cases[] = {
      {IDW_SILENCE_8000, 8000, 50},   {IDW_SILENCE_11025, 11025, 69}, {IDW_SILENCE_16000, 16000, 100},
      {IDW_SILENCE_22050, 22050, 137}, {IDW_SILENCE_32000, 32000, 100}, {IDW_SILENCE_44100, 44100, 273},
      {IDW_SILENCE_48000, 48000, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "WAVE " << c.id);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(c.id), L"WAVE");
    ASSERT_NE(nullptr, resource);
    const DWORD size = SizeofResource(module, resource);
    const auto* wave = static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)));
    ASSERT_EQ(44 + c.samples * 2, size) << "RIFF header and 16-bit samples";
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(wave[at] | wave[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    EXPECT_EQ(0, memcmp(wave, "RIFF", 4));
    EXPECT_EQ(size - 8, u32(4));
    EXPECT_EQ(0, memcmp(wave + 8, "WAVEfmt ", 8));
    EXPECT_EQ(1u, u16(20)) << "PCM";
    EXPECT_EQ(1u, u16(22)) << "mono";
    EXPECT_EQ(c.rate, u32(24));
    EXPECT_EQ(c.rate * 2, u32(28)) << "bytes per second";
    EXPECT_EQ(2u, u16(32)) << "block align";
    EXPECT_EQ(16u, u16(34)) << "bits per sample";
    EXPECT_EQ(0, memcmp(wave + 36, "data", 4));
    EXPECT_EQ(c.samples * 2, u32(40));
    bool silent = true;
    for (DWORD i = 44; i < size; ++i) silent = silent && wave[i] == 0;
    EXPECT_TRUE(silent) << "all samples are zero";
  }
}

}  // namespace
