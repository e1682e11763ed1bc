// The simulated registry, GUID strings and the system version.
#include <stdio.h>
#include <string.h>

#include <map>

#include "kernel/irql.h"
#include "kernel/pool.h"
#include "kernel/system_version.h"
#include "sim_io_state.h"

namespace {

struct Value {
  uint32_t type;
  std::vector<uint8_t> data;
};

std::mutex registryMutex;
std::map<std::u16string, std::map<std::u16string, Value>> keys;  // folded path -> folded name -> value
sim::RegistryCounters counters{};

uint32_t versionMajor = 5;
uint32_t versionMinor = 1;
bool versionRoutine = true;

std::u16string toText(const kernel::UnicodeString& s) { return std::u16string(s.buffer, s.length / 2); }

}  // namespace

namespace kernel {

Status openKey(const UnicodeString& path, RegistryKey*& key) {
  std::lock_guard<std::mutex> hold(registryMutex);
  counters.opens++;
  key = nullptr;
  if (currentIrql() != kPassiveLevel) sim::recordViolation("registry key opened above passive level");
  std::u16string folded = sim::detail::foldCase(toText(path));
  if (keys.count(folded) == 0) return kStatusObjectNameNotFound;
  key = new RegistryKey{folded};
  counters.openKeys++;
  return kStatusSuccess;
}

Status queryValuePartial(RegistryKey* key, const UnicodeString& valueName, void* buffer, uint32_t bufferBytes,
                         uint32_t& resultBytes) {
  std::lock_guard<std::mutex> hold(registryMutex);
  counters.queries++;
  if (currentIrql() != kPassiveLevel) sim::recordViolation("registry value queried above passive level");
  resultBytes = 0;
  auto& values = keys[key->path];
  auto it = values.find(sim::detail::foldCase(toText(valueName)));
  if (it == values.end()) return kStatusObjectNameNotFound;
  const Value& value = it->second;
  uint32_t dataBytes = static_cast<uint32_t>(value.data.size());
  resultBytes = kKeyValuePartialInformationHeaderBytes + dataBytes;
  if (bufferBytes < kKeyValuePartialInformationHeaderBytes) return kStatusBufferTooSmall;
  auto* info = static_cast<KeyValuePartialInformation*>(buffer);
  info->titleIndex = 0;
  info->type = value.type;
  info->dataLength = dataBytes;
  if (bufferBytes < resultBytes) return kStatusBufferOverflow;
  if (dataBytes != 0) memcpy(static_cast<uint8_t*>(buffer) + kKeyValuePartialInformationHeaderBytes, value.data.data(), dataBytes);
  return kStatusSuccess;
}

void closeKey(RegistryKey* key) {
  std::lock_guard<std::mutex> hold(registryMutex);
  counters.openKeys--;
  delete key;
}

// The runtime's string comes from the same pool as the driver's blocks here,
// so a string never released shows as a block left behind.
Status stringFromGuid(const Guid& guid, UnicodeString& text) {
  char narrow[40];
  snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1, guid.data2,
           guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5],
           guid.data4[6], guid.data4[7]);
  constexpr uint32_t kCharacters = 38;
  auto* buffer = static_cast<WideChar*>(poolAllocate((kCharacters + 1) * sizeof(WideChar)));
  if (buffer == nullptr) return kStatusInsufficientResources;
  for (uint32_t i = 0; i <= kCharacters; i++) buffer[i] = static_cast<WideChar>(narrow[i]);
  text.buffer = buffer;
  text.length = kCharacters * sizeof(WideChar);
  text.maximumLength = (kCharacters + 1) * sizeof(WideChar);
  return kStatusSuccess;
}

void freeUnicodeString(UnicodeString& text) {
  poolFree(text.buffer);
  text.buffer = nullptr;
  text.length = text.maximumLength = 0;
}

bool isNtDdiVersionAvailable(uint32_t version, bool& routineFound) {
  routineFound = versionRoutine;
  if (!versionRoutine) return false;
  return (versionMajor << 24 | versionMinor << 16) >= version;
}

void systemVersion(uint32_t& major, uint32_t& minor) {
  major = versionMajor;
  minor = versionMinor;
}

}  // namespace kernel

namespace sim {

void setSystemVersion(uint32_t major, uint32_t minor, bool hasVersionRoutine) {
  versionMajor = major;
  versionMinor = minor;
  versionRoutine = hasVersionRoutine;
}

void setRegistryValue(const std::u16string& keyPath, const std::u16string& valueName, uint32_t type,
                      const std::vector<uint8_t>& data) {
  std::lock_guard<std::mutex> hold(registryMutex);
  keys[detail::foldCase(keyPath)][detail::foldCase(valueName)] = Value{type, data};
}

void setRegistryDword(const std::u16string& keyPath, const std::u16string& valueName, uint32_t value) {
  std::vector<uint8_t> data(4);
  memcpy(data.data(), &value, 4);
  setRegistryValue(keyPath, valueName, kernel::kRegDword, data);
}

void setRegistryString(const std::u16string& keyPath, const std::u16string& valueName, const std::u16string& text) {
  std::vector<uint8_t> data((text.size() + 1) * 2, 0);
  memcpy(data.data(), text.data(), text.size() * 2);
  setRegistryValue(keyPath, valueName, kernel::kRegSz, data);
}

void createRegistryKey(const std::u16string& keyPath) {
  std::lock_guard<std::mutex> hold(registryMutex);
  keys[detail::foldCase(keyPath)];
}

RegistryCounters registryCounters() {
  std::lock_guard<std::mutex> hold(registryMutex);
  return counters;
}

namespace detail {

void resetRegistry() {
  std::lock_guard<std::mutex> hold(registryMutex);
  keys.clear();
  counters = {};
}

}  // namespace detail
}  // namespace sim
