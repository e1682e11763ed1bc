#pragma once
// The platform's kernel headers, for the WDM backend only. Nothing outside
// driver/kernel/wdm/ includes this: the driver's logic sees the platform only
// through the narrow interface in driver/kernel/.
//
// mingw-w64's wdm.h defines InterlockedBitTestAndSet / ...Reset itself; in
// C++ the compiler's intrinsic header defines them too unless told they exist.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

#include "kernel/device_object.h"
#include "kernel/io_request.h"
#include "kernel/unicode_string.h"

namespace wdm {

// Our opaque kernel objects are the platform's own objects.
inline DRIVER_OBJECT* native(kernel::DriverObject* driver) { return reinterpret_cast<DRIVER_OBJECT*>(driver); }
inline DEVICE_OBJECT* native(kernel::DeviceObject* device) { return reinterpret_cast<DEVICE_OBJECT*>(device); }
inline IRP* native(kernel::Irp* irp) { return reinterpret_cast<IRP*>(irp); }
inline IO_STACK_LOCATION* native(kernel::StackLocation* stack) { return reinterpret_cast<IO_STACK_LOCATION*>(stack); }
inline const IO_STACK_LOCATION* native(const kernel::StackLocation* stack) {
  return reinterpret_cast<const IO_STACK_LOCATION*>(stack);
}
inline kernel::DriverObject* ours(DRIVER_OBJECT* driver) { return reinterpret_cast<kernel::DriverObject*>(driver); }
inline kernel::DeviceObject* ours(DEVICE_OBJECT* device) { return reinterpret_cast<kernel::DeviceObject*>(device); }
inline kernel::Irp* ours(IRP* irp) { return reinterpret_cast<kernel::Irp*>(irp); }

// Our counted strings and GUIDs are laid out as the platform's.
static_assert(sizeof(kernel::UnicodeString) == sizeof(UNICODE_STRING));
static_assert(offsetof(kernel::UnicodeString, length) == offsetof(UNICODE_STRING, Length));
static_assert(offsetof(kernel::UnicodeString, maximumLength) == offsetof(UNICODE_STRING, MaximumLength));
static_assert(offsetof(kernel::UnicodeString, buffer) == offsetof(UNICODE_STRING, Buffer));
static_assert(sizeof(kernel::WideChar) == sizeof(WCHAR));
static_assert(sizeof(kernel::Guid) == sizeof(GUID));
static_assert(offsetof(kernel::Guid, data4) == offsetof(GUID, Data4));

inline UNICODE_STRING* native(kernel::UnicodeString* s) { return reinterpret_cast<UNICODE_STRING*>(s); }
// The platform's routines take their strings by non-constant pointer but do
// not change the ones we hand them.
inline UNICODE_STRING* native(const kernel::UnicodeString* s) {
  return reinterpret_cast<UNICODE_STRING*>(const_cast<kernel::UnicodeString*>(s));
}
inline GUID* native(const kernel::Guid* guid) { return reinterpret_cast<GUID*>(const_cast<kernel::Guid*>(guid)); }

}  // namespace wdm
