// Registry keys and values, GUID strings and the system version over the
// kernel's own routines.
#include "kernel/registry.h"
#include "kernel/system_version.h"
#include "kernel/unicode_string.h"
#include "wdm_platform.h"

namespace {

static_assert(kernel::kRegSz == REG_SZ && kernel::kRegBinary == REG_BINARY);
static_assert(kernel::kRegDword == REG_DWORD && kernel::kRegQword == REG_QWORD);
static_assert(sizeof(kernel::KeyValuePartialInformation) == sizeof(KEY_VALUE_PARTIAL_INFORMATION));
static_assert(offsetof(kernel::KeyValuePartialInformation, type) == offsetof(KEY_VALUE_PARTIAL_INFORMATION, Type));
static_assert(offsetof(kernel::KeyValuePartialInformation, dataLength) ==
              offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength));
static_assert(offsetof(kernel::KeyValuePartialInformation, data) == offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data));
static_assert(kernel::kKeyValuePartialInformationHeaderBytes == offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data));

// A key is the kernel handle itself.
HANDLE native(kernel::RegistryKey* key) { return reinterpret_cast<HANDLE>(key); }

using VersionRoutine = BOOLEAN(NTAPI*)(ULONG version);

}  // namespace

namespace kernel {

Status openKey(const UnicodeString& path, RegistryKey*& key) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, wdm::native(&path), OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  HANDLE handle = nullptr;
  NTSTATUS status = ZwOpenKey(&handle, KEY_QUERY_VALUE, &attributes);
  key = NT_SUCCESS(status) ? reinterpret_cast<RegistryKey*>(handle) : nullptr;
  return status;
}

Status queryValuePartial(RegistryKey* key, const UnicodeString& valueName, void* buffer, uint32_t bufferBytes,
                         uint32_t& resultBytes) {
  ULONG result = 0;
  NTSTATUS status = ZwQueryValueKey(native(key), wdm::native(&valueName), ::KeyValuePartialInformation, buffer,
                                    bufferBytes, &result);
  resultBytes = result;
  return status;
}

void closeKey(RegistryKey* key) { ZwClose(native(key)); }

Status stringFromGuid(const Guid& guid, UnicodeString& text) {
  return RtlStringFromGUID(*wdm::native(&guid), wdm::native(&text));
}

void freeUnicodeString(UnicodeString& text) {
  RtlFreeUnicodeString(wdm::native(&text));
  text.buffer = nullptr;
  text.length = text.maximumLength = 0;
}

// The version routine came with Vista: it is looked up, not imported, so
// that the image still loads on XP.
bool isNtDdiVersionAvailable(uint32_t version, bool& routineFound) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"RtlIsNtDdiVersionAvailable");
  auto routine = reinterpret_cast<VersionRoutine>(MmGetSystemRoutineAddress(&name));
  routineFound = routine != nullptr;
  return routineFound && routine(version) != FALSE;
}

void systemVersion(uint32_t& major, uint32_t& minor) {
  ULONG majorVersion = 0;
  ULONG minorVersion = 0;
  PsGetVersion(&majorVersion, &minorVersion, nullptr, nullptr);
  major = majorVersion;
  minor = minorVersion;
}

}  // namespace kernel
