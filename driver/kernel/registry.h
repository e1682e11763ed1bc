#pragma once
// Reading values of a registry key: open it by path, query values as partial
// information, close it.
#include <stdint.h>

#include "kernel/status.h"
#include "kernel/unicode_string.h"

namespace kernel {

struct RegistryKey;

// Value types.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegQword = 11;

// The layout of a value queried as partial information: a 12-byte header,
// then the data.
struct KeyValuePartialInformation {
  uint32_t titleIndex;
  uint32_t type;
  uint32_t dataLength;  // bytes
  uint8_t data[4];
};
inline constexpr uint32_t kKeyValuePartialInformationHeaderBytes = 12;

// Opens the key at `path` for querying values; names match case-insensitively.
Status openKey(const UnicodeString& path, RegistryKey*& key);
// Writes the value's header and data into `buffer` of `bufferBytes`. A buffer
// that holds the header but not all the data gives STATUS_BUFFER_OVERFLOW
// with the header filled in; one that does not hold the header gives
// STATUS_BUFFER_TOO_SMALL. `resultBytes` is the size the whole answer needs.
Status queryValuePartial(RegistryKey* key, const UnicodeString& valueName, void* buffer, uint32_t bufferBytes,
                         uint32_t& resultBytes);
void closeKey(RegistryKey* key);

}  // namespace kernel
