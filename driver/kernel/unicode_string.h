#pragma once
// Counted wide strings and GUIDs as the kernel's routines take them.
#include <stdint.h>

#include "kernel/status.h"

namespace kernel {

// The kernel's wide character: 16 bits on every platform.
using WideChar = char16_t;

// A counted string; both lengths are in bytes, not characters, and the text
// need not end with a NUL.
struct UnicodeString {
  uint16_t length;
  uint16_t maximumLength;
  WideChar* buffer;
};

// Describes a NUL-terminated constant (the NUL is not counted).
inline UnicodeString initUnicodeString(const WideChar* text) {
  uint32_t characters = 0;
  while (text[characters] != 0) characters++;
  UnicodeString s;
  s.length = static_cast<uint16_t>(characters * sizeof(WideChar));
  s.maximumLength = static_cast<uint16_t>(s.length + sizeof(WideChar));
  s.buffer = const_cast<WideChar*>(text);
  return s;
}

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

// The brace form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 characters) in a
// string the runtime allocates; release it with freeUnicodeString.
Status stringFromGuid(const Guid& guid, UnicodeString& text);
void freeUnicodeString(UnicodeString& text);

}  // namespace kernel
