#pragma once
// The associated applications: an ordered list of executable paths, each with
// a state (1 process this application, 2 do not). Stored as the subkey
// "ProcessList" of the settings key, one REG_DWORD per entry whose name is the
// full path and whose data is the state. Machine entries are loaded first and
// the user's second, into the same list.
#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

class SettingsStore;

class ProcessList {
 public:
  static constexpr int32_t kStateProcess = 1;
  static constexpr int32_t kStateDoNotProcess = 2;
  static constexpr const wchar_t* kSubkeyName = L"ProcessList";
  static constexpr size_t kGrowthStep = 32;      // entries
  static constexpr DWORD kMaxPathLength = 260;   // characters, with the terminator

  struct Entry {
    std::wstring path;
    int32_t state;
  };

  // Sets the state of the entry whose path is exactly this one (same code
  // units), or appends a new entry.
  void SetState(const wchar_t* path, int32_t state);
  // The state of the first entry whose path equals this one, ignoring the
  // case of the letters A to Z; 0 if none does.
  int32_t LookupPath(const wchar_t* path) const;
  // The state of the process's executable (its first module), 0 when its
  // path cannot be had or is not listed.
  int32_t LookupProcess(DWORD processId) const;

  // Adds the entries stored under the settings key; stops at the first value
  // that cannot be enumerated or read.
  void LoadList(const SettingsStore& settingsKey);
  // Replaces the stored subkey by the list, in list order. 1 when the subkey
  // was created and every entry written, else 0.
  int SaveList(const SettingsStore& settingsKey) const;

  const std::vector<Entry>& Entries() const { return entries_; }
  size_t Capacity() const { return entries_.capacity(); }

 private:
  std::vector<Entry> entries_;
};
