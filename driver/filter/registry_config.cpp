#include "filter/registry_config.h"

#include "kernel/io_request.h"
#include "kernel/irql.h"
#include "kernel/pool.h"
#include "kernel/registry.h"

namespace {

using kernel::WideChar;

constexpr WideChar kMediaCategoriesPrefix[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\MediaCategories\\";
constexpr WideChar kNameValue[] = u"Name";

// The node names of the microphone volume and the master volume.
constexpr kernel::Guid kMicVolumeNodeName = {0x185FEDED, 0x9905, 0x11D1, {0x95, 0xA9, 0x00, 0xC0, 0x4F, 0xB9, 0x25, 0xD3}};
constexpr kernel::Guid kMasterVolumeNodeName = {
    0x185FEDE3, 0x9905, 0x11D1, {0x95, 0xA9, 0x00, 0xC0, 0x4F, 0xB9, 0x25, 0xD3}};

uint32_t textLength(const WideChar* text) {
  uint32_t n = 0;
  while (text[n] != 0) n++;
  return n;
}

void clearName(MediaCategoryName& name) {
  name.text[0] = 0;
  name.name.buffer = name.text;
  name.name.length = 0;
  name.name.maximumLength = static_cast<uint16_t>(sizeof name.text);
}

// Queries one value as partial information into a fresh pool buffer of
// `bufferBytes`; calls `take` with the header when the query fully succeeded.
template <typename Take>
void queryValue(kernel::RegistryKey* key, const WideChar* valueName, uint32_t bufferBytes, Take take) {
  void* buffer = kernel::poolAllocate(bufferBytes);
  if (buffer == nullptr) return;
  uint32_t resultBytes = 0;
  kernel::Status status = kernel::queryValuePartial(key, kernel::initUnicodeString(valueName), buffer, bufferBytes, resultBytes);
  const auto* info = static_cast<const kernel::KeyValuePartialInformation*>(buffer);
  // Only exactly STATUS_SUCCESS: a value cut short answers with a warning.
  if (status == kernel::kStatusSuccess &&
      info->dataLength <= bufferBytes - kernel::kKeyValuePartialInformationHeaderBytes) {
    take(*info);
  }
  kernel::poolFree(buffer);
}

void readServiceValues(RegistryConfig& config, const kernel::UnicodeString& servicePath) {
  if (kernel::currentIrql() != kernel::kPassiveLevel) return;
  kernel::RegistryKey* key = nullptr;
  if (!kernel::isSuccess(kernel::openKey(servicePath, key))) return;
  struct Number {
    const WideChar* name;
    uint32_t* value;
  };
  const Number numbers[] = {
      {u"MaxReadSamplingRate", &config.maxReadSamplingRate},
      {u"ReadPinId", &config.readPinId},
      {u"WritePinId", &config.writePinId},
  };
  for (const Number& number : numbers) {
    // Any 4-byte value counts, whatever its registry type.
    queryValue(key, number.name, RegistryConfig::kNumberQueryBytes, [&](const kernel::KeyValuePartialInformation& info) {
      if (info.dataLength == sizeof(uint32_t)) __builtin_memcpy(number.value, info.data, sizeof(uint32_t));
    });
  }
  kernel::closeKey(key);
}

void readMediaCategoryName(MediaCategoryName& name, const kernel::Guid& nodeName) {
  kernel::UnicodeString guidText{};
  if (!kernel::isSuccess(kernel::stringFromGuid(nodeName, guidText))) return;

  // The key path: the prefix and the GUID in braces, cut to the path buffer.
  WideChar path[RegistryConfig::kKeyPathCharacters];
  uint32_t prefixLength = textLength(kMediaCategoriesPrefix);
  __builtin_memcpy(path, kMediaCategoriesPrefix, (prefixLength + 1) * sizeof(WideChar));
  uint32_t room = RegistryConfig::kKeyPathCharacters - 1 - prefixLength;
  uint32_t guidLength = guidText.length / 2u;  // bytes to characters
  uint32_t appended = guidLength < room ? guidLength : room;
  for (uint32_t i = 0; i < appended; i++) path[prefixLength + i] = guidText.buffer[i];
  path[prefixLength + appended] = 0;

  kernel::RegistryKey* key = nullptr;
  if (kernel::currentIrql() == kernel::kPassiveLevel && kernel::isSuccess(kernel::openKey(kernel::initUnicodeString(path), key))) {
    queryValue(key, kNameValue, RegistryConfig::kNameQueryBytes, [&](const kernel::KeyValuePartialInformation& info) {
      if (info.dataLength > static_cast<uint32_t>(sizeof name.text)) return;
      __builtin_memcpy(name.text, info.data, info.dataLength);
      // The counted string ends at the stored NUL, or at the data's end
      // (then a NUL is added when there is room for one).
      uint32_t characters = info.dataLength / 2u;  // bytes to characters
      uint32_t length = 0;
      while (length < characters && name.text[length] != 0) length++;
      if (length < MediaCategoryName::kBufferCharacters) name.text[length] = 0;
      name.name.length = static_cast<uint16_t>(length * 2u);
    });
    kernel::closeKey(key);
  }
  kernel::freeUnicodeString(guidText);
}

}  // namespace

void readRegistryConfiguration(RegistryConfig& config, const kernel::UnicodeString& servicePath) {
  config.maxReadSamplingRate = RegistryConfig::kDefaultMaxReadSamplingRate;
  config.readPinId = RegistryConfig::kDefaultReadPinId;
  config.writePinId = RegistryConfig::kDefaultWritePinId;
  clearName(config.micVolumeName);
  clearName(config.masterVolumeName);
  readServiceValues(config, servicePath);
  readMediaCategoryName(config.micVolumeName, kMicVolumeNodeName);
  readMediaCategoryName(config.masterVolumeName, kMasterVolumeNodeName);
}
