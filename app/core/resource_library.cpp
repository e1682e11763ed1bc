#include "core/resource_library.h"

#include <vector>

ResourceLibrary::ResourceLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}

ResourceLibrary::~ResourceLibrary() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
}

int ResourceLibrary::LoadString(UINT id, wchar_t (&buffer)[kStringBufferLength]) const {
  buffer[0] = L'\0';
  // A null module would make LoadStringW read the program's own strings.
  if (!module_) return 0;
  return ::LoadStringW(module_, id, buffer, kStringBufferLength);
}

std::wstring ResourceLibrary::LoadWholeString(UINT id) const {
  if (!module_) return std::wstring();
  for (int length = kWholeStringFirstLength;; length *= 2) {
    std::vector<wchar_t> buffer(static_cast<size_t>(length), L'\0');
    const int copied = ::LoadStringW(module_, id, buffer.data(), length);
    // A text that fills the buffer may have been cut: try again, twice as long.
    if (copied < length - 1) return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
  }
}
