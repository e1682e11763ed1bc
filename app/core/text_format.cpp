#include "core/text_format.h"

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include <vector>

namespace {

int FormatArguments(wchar_t* buffer, size_t length, const wchar_t* format, va_list arguments) {
  if (length == 0) return 0;
  // _vsnwprintf is the system library's: it neither terminates a cut text
  // nor reports its length then.
  int written = _vsnwprintf(buffer, length, format, arguments);
  if (written < 0 || static_cast<size_t>(written) >= length) {
    buffer[length - 1] = L'\0';
    written = static_cast<int>(wcslen(buffer));
  }
  return written;
}

}  // namespace

int FormatInto(wchar_t* buffer, size_t length, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = FormatArguments(buffer, length, format, arguments);
  va_end(arguments);
  return written;
}

std::wstring FormatText(size_t maxLength, const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(maxLength + 1, L'\0');
  va_list arguments;
  va_start(arguments, format);
  const int written = FormatArguments(buffer.data(), buffer.size(), format, arguments);
  va_end(arguments);
  return std::wstring(buffer.data(), static_cast<size_t>(written));
}
