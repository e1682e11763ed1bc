#pragma once
// The driver's configuration from the registry, read once at load: three
// numbers of its service key and the display names of two media categories.
#include <stdint.h>

#include "kernel/unicode_string.h"

// A display name in a buffer of its own; empty when it was not read.
struct MediaCategoryName {
  static constexpr uint32_t kBufferCharacters = 256;  // 512 bytes
  kernel::WideChar text[kBufferCharacters];
  kernel::UnicodeString name;  // describes `text`, without its terminating NUL
};

struct RegistryConfig {
  uint32_t maxReadSamplingRate;  // Hz; 0 = no limit on the capture rate
  uint32_t readPinId;            // pin factory of the capture pin
  uint32_t writePinId;           // pin factory of the render pin
  MediaCategoryName micVolumeName;
  MediaCategoryName masterVolumeName;

  static constexpr uint32_t kDefaultMaxReadSamplingRate = 0;
  static constexpr uint32_t kDefaultReadPinId = 2;
  static constexpr uint32_t kDefaultWritePinId = 0;
  // Query buffers, bytes: a 4-byte number with its header and room to see
  // that a value is longer; a name of up to 130 wide characters with its header.
  static constexpr uint32_t kNumberQueryBytes = 20;
  static constexpr uint32_t kNameQueryBytes = 272;
  static constexpr uint32_t kKeyPathCharacters = 256;
};

// Sets the defaults, then reads what the registry holds. `servicePath` is the
// registry path given to the driver's entry. Reports nothing: every value
// that cannot be read keeps its default, and nothing is read above passive level.
void readRegistryConfiguration(RegistryConfig& config, const kernel::UnicodeString& servicePath);
