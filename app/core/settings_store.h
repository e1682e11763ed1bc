#pragma once
// Owner of one open registry key with typed value access. A stack object:
// opened, used and closed within one operation. Every operation answers a
// status: 0 for success, the registry's error code for a failed registry
// call, and kMisuse for a store without a key or an open on a store that
// already holds one.
#include <windows.h>

#include <stdint.h>

class SettingsStore {
 public:
  static constexpr int32_t kMisuse = -1;

  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;
  // Closes the key unless it is borrowed.
  ~SettingsStore();

  int32_t Open(HKEY parent, const wchar_t* path, REGSAM access);
  int32_t Create(HKEY parent, const wchar_t* path, REGSAM access);
  // Open or create a subkey of this store's key into an empty child store,
  // with this store's access mask.
  int32_t OpenSubkey(SettingsStore& child, const wchar_t* name) const;
  int32_t CreateSubkey(SettingsStore& child, const wchar_t* name) const;

  // Any value of at most 4 bytes, whatever its type, as its raw bytes
  // (zero-extended). On any failure the output is left as it was.
  int32_t ReadDword(const wchar_t* name, int32_t& value) const;
  int32_t WriteDword(const wchar_t* name, int32_t value) const;
  // Reads a value of any type into buffer; sizeBytes is the buffer's size in
  // and the value's size out. The text is always null-terminated: a value that
  // fills the buffer without its terminator answers ERROR_MORE_DATA.
  int32_t ReadString(const wchar_t* name, wchar_t* buffer, DWORD& sizeBytes) const;
  // The name of the value at index; length in characters, in and out.
  int32_t EnumValueName(DWORD index, wchar_t* buffer, DWORD& length) const;
  // Removes the named subkey with everything below it.
  int32_t DeleteSubkey(const wchar_t* name) const;

  // Takes a key that stays someone else's: 1, or 0 if a key is already held.
  int Attach(HKEY key);
  // Forgets the key without closing it.
  void Detach();
  // Closes an owned key and forgets it; a borrowed key is only forgotten.
  int32_t Close();

  HKEY Key() const { return key_; }
  REGSAM Access() const { return access_; }
  bool IsBorrowed() const { return borrowed_; }

 private:
  REGSAM access_ = 0;
  bool borrowed_ = false;
  HKEY key_ = nullptr;
};
