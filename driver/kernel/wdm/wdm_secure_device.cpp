// A named device that user mode opens, with the security descriptor its
// creator asks for. The driver kit's routine for this lives in a static
// library mingw-w64 does not have; its effect is built here: create the
// device, then give it the descriptor's discretionary access list.
//
// The descriptor is the one the control device asks for,
// "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;BU)(A;;GA;;;BG)": a protected list
// that allows generic all to local system, administrators, users and
// guests. No general descriptor-language parser is carried into the kernel
// for one fixed string: any other descriptor is refused. The device-class
// GUID names where an administrator may override a class's security in the
// registry; this driver installs no such class, so the descriptor given is
// the one applied.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntifs.h>

#include "kernel/device_object.h"
#include "wdm_platform.h"

namespace {

constexpr kernel::WideChar kSupportedDescriptor[] = u"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;BU)(A;;GA;;;BG)";

bool sameText(const kernel::UnicodeString& text, const kernel::WideChar* expected) {
  uint32_t characters = text.length / sizeof(kernel::WideChar);
  for (uint32_t i = 0; i < characters; i++) {
    if (expected[i] == 0 || text.buffer[i] != expected[i]) return false;
  }
  return expected[characters] == 0;
}

// A security identifier with up to two sub-authorities, laid out as SID.
struct WellKnownSid {
  UCHAR revision;
  UCHAR subAuthorityCount;
  UCHAR authority[6];
  ULONG subAuthority[2];
};
static_assert(offsetof(WellKnownSid, subAuthority) == offsetof(SID, SubAuthority));

constexpr WellKnownSid kLocalSystem = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID, 0}};
constexpr WellKnownSid kAdministrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                          {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
constexpr WellKnownSid kUsers = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                 {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}};
constexpr WellKnownSid kGuests = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                  {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS}};
constexpr const WellKnownSid* kAllowed[] = {&kLocalSystem, &kAdministrators, &kUsers, &kGuests};

// The list's header and four entries: each entry is its 8-byte header and
// mask plus a 12- or 16-byte identifier.
constexpr ULONG kAclBytes = sizeof(ACL) + 4 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG) + sizeof(WellKnownSid));

// GA on a device is generic all mapped through the file object's generic
// mapping, which is FILE_ALL_ACCESS: stored descriptors hold mapped rights.
constexpr ACCESS_MASK kGenericAllOnFiles = FILE_ALL_ACCESS;

NTSTATUS applyDescriptor(DEVICE_OBJECT* device) {
  alignas(ULONG) UCHAR aclBuffer[kAclBytes];
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
  NTSTATUS status = RtlCreateAcl(acl, sizeof aclBuffer, ACL_REVISION);
  for (const WellKnownSid* sid : kAllowed) {
    if (!NT_SUCCESS(status)) return status;
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, kGenericAllOnFiles, const_cast<WellKnownSid*>(sid));
  }
  if (!NT_SUCCESS(status)) return status;

  SECURITY_DESCRIPTOR descriptor;
  status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (!NT_SUCCESS(status)) return status;
  status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (!NT_SUCCESS(status)) return status;
  descriptor.Control |= SE_DACL_PROTECTED;  // the "P" of "D:P": nothing inherited

  HANDLE handle = nullptr;
  status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC, nullptr, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}

}  // namespace

namespace kernel {

Status createDeviceSecure(DriverObject* driver, uint32_t extensionBytes, const UnicodeString& name, uint32_t type,
                          uint32_t characteristics, bool exclusive, const UnicodeString& securityDescriptor,
                          const Guid&, DeviceObject*& device) {
  device = nullptr;
  if (!sameText(securityDescriptor, kSupportedDescriptor)) return STATUS_INVALID_PARAMETER;
  DeviceObject* created = nullptr;
  Status status = createDevice(driver, extensionBytes, &name, type, characteristics, exclusive, created);
  if (!isSuccess(status)) return status;
  status = applyDescriptor(wdm::native(created));
  if (!isSuccess(status)) {
    // A device that anyone could open with a default descriptor is not made.
    deleteDevice(created);
    return status;
  }
  device = created;
  return kStatusSuccess;
}

}  // namespace kernel
