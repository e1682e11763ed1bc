#include "core/process_list.h"

#include <psapi.h>
#include <wchar.h>

#include "core/settings_store.h"

namespace {

wchar_t FoldAsciiCase(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualIgnoringAsciiCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == L'\0' || FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return b[i] == L'\0';
}

}  // namespace

void ProcessList::SetState(const wchar_t* path, int32_t state) {
  const size_t length = wcslen(path);
  for (Entry& entry : entries_) {
    if (entry.path.size() == length && entry.path.compare(0, length, path, length) == 0) {
      entry.state = state;
      return;
    }
  }
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kGrowthStep);
  entries_.push_back(Entry{std::wstring(path, length), state});
}

int32_t ProcessList::LookupPath(const wchar_t* path) const {
  for (const Entry& entry : entries_) {
    if (EqualIgnoringAsciiCase(entry.path, path)) return entry.state;
  }
  return 0;
}

int32_t ProcessList::LookupProcess(DWORD processId) const {
  wchar_t path[kMaxPathLength] = {};
  DWORD length = 0;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process) {
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &module, sizeof(module), &needed)) {
      length = GetModuleFileNameExW(process, module, path, kMaxPathLength);
    }
    CloseHandle(process);
  }
  if (length == 0) return 0;
  return LookupPath(path);
}

void ProcessList::LoadList(const SettingsStore& settingsKey) {
  if (!settingsKey.Key()) return;
  SettingsStore list;
  if (list.Open(settingsKey.Key(), kSubkeyName, KEY_READ) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxPathLength];
    DWORD length = kMaxPathLength;
    if (list.EnumValueName(index, name, length) != ERROR_SUCCESS) return;
    int32_t state = 0;
    if (list.ReadDword(name, state) != ERROR_SUCCESS) return;
    SetState(name, state);
  }
}

int ProcessList::SaveList(const SettingsStore& settingsKey) const {
  if (!settingsKey.Key()) return 0;
  // The parent key is borrowed, never closed, by the store that deletes.
  SettingsStore parent;
  parent.Attach(settingsKey.Key());
  parent.DeleteSubkey(kSubkeyName);
  parent.Detach();

  SettingsStore list;
  if (list.Create(settingsKey.Key(), kSubkeyName, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return 0;
  int ok = 1;
  for (const Entry& entry : entries_) {
    if (list.WriteDword(entry.path.c_str(), entry.state) != ERROR_SUCCESS) ok = 0;
  }
  return ok;
}
