#include "core/settings_store.h"

#include <shlwapi.h>

SettingsStore::~SettingsStore() {
  if (key_ && !borrowed_) RegCloseKey(key_);
}

int32_t SettingsStore::Open(HKEY parent, const wchar_t* path, REGSAM access) {
  if (key_) return kMisuse;
  access_ = access;
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(parent, path, 0, access, &key);
  if (status == ERROR_SUCCESS) {
    key_ = key;
    borrowed_ = false;
  }
  return status;
}

int32_t SettingsStore::Create(HKEY parent, const wchar_t* path, REGSAM access) {
  if (key_) return kMisuse;
  access_ = access;
  HKEY key = nullptr;
  const LONG status = RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    key_ = key;
    borrowed_ = false;
  }
  return status;
}

int32_t SettingsStore::OpenSubkey(SettingsStore& child, const wchar_t* name) const {
  if (!key_) return kMisuse;
  return child.Open(key_, name, access_);
}

int32_t SettingsStore::CreateSubkey(SettingsStore& child, const wchar_t* name) const {
  if (!key_) return kMisuse;
  return child.Create(key_, name, access_);
}

int32_t SettingsStore::ReadDword(const wchar_t* name, int32_t& value) const {
  if (!key_) return kMisuse;
  DWORD data = 0;
  DWORD size = sizeof(data);
  const LONG status = RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
  if (status == ERROR_SUCCESS) value = static_cast<int32_t>(data);
  return status;
}

int32_t SettingsStore::WriteDword(const wchar_t* name, int32_t value) const {
  if (!key_) return kMisuse;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

int32_t SettingsStore::ReadString(const wchar_t* name, wchar_t* buffer, DWORD& sizeBytes) const {
  if (!key_) return kMisuse;
  const DWORD capacity = sizeBytes / sizeof(wchar_t);  // whole characters only
  if (capacity == 0) return ERROR_MORE_DATA;
  DWORD size = capacity * sizeof(wchar_t);
  const LONG status = RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  sizeBytes = size;
  if (status != ERROR_SUCCESS) return status;
  // The registry does not promise a terminator, nor even whole characters.
  DWORD length = size / sizeof(wchar_t);
  if (length > 0 && buffer[length - 1] == L'\0') return ERROR_SUCCESS;
  if (length >= capacity) {
    buffer[capacity - 1] = L'\0';
    return ERROR_MORE_DATA;
  }
  buffer[length] = L'\0';
  return ERROR_SUCCESS;
}

int32_t SettingsStore::EnumValueName(DWORD index, wchar_t* buffer, DWORD& length) const {
  if (!key_) return kMisuse;
  return RegEnumValueW(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
}

int32_t SettingsStore::DeleteSubkey(const wchar_t* name) const {
  if (!key_) return kMisuse;
  return static_cast<int32_t>(SHDeleteKeyW(key_, name));
}

int SettingsStore::Attach(HKEY key) {
  if (key_) return 0;
  key_ = key;
  borrowed_ = true;
  return 1;
}

void SettingsStore::Detach() {
  key_ = nullptr;
  borrowed_ = false;
}

int32_t SettingsStore::Close() {
  if (!key_) return 0;
  if (borrowed_) {
    Detach();
    return 0;
  }
  const LONG status = RegCloseKey(key_);
  if (status == ERROR_SUCCESS) key_ = nullptr;
  return status;
}
