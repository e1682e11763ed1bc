#pragma once
// The resource library Ostrel: the application's dialog templates and
// user-visible strings. Loaded once by bare name, found by the system's
// library search, and kept for the life of the object. Without it every string
// is empty and every dialog creation fails.
#include <windows.h>

#include <string>

// The operation keeps its own name; the program calls the W functions by name.
#undef LoadString

class ResourceLibrary {
 public:
  static constexpr const wchar_t* kLibraryName = L"Ostrel";
  static constexpr int kStringBufferLength = 260;   // characters
  static constexpr int kWholeStringFirstLength = 64;  // characters; doubled until the text fits

  explicit ResourceLibrary(const wchar_t* name = kLibraryName);
  ResourceLibrary(const ResourceLibrary&) = delete;
  ResourceLibrary& operator=(const ResourceLibrary&) = delete;
  ~ResourceLibrary();

  // Loads string id into buffer (kStringBufferLength characters); answers its
  // length. Without the library, or for a missing id, the buffer is empty.
  int LoadString(UINT id, wchar_t (&buffer)[kStringBufferLength]) const;
  // Loads string id whole, however long.
  std::wstring LoadWholeString(UINT id) const;

  HMODULE Module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};
