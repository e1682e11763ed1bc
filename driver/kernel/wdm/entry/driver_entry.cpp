// The image's entry: the kernel calls DriverEntry with the driver object and
// the path of the service key; the driver's own entry does the rest.
#include "filter/filter_driver.h"
#include "kernel/wdm/wdm_platform.h"

extern "C" NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driverObject, UNICODE_STRING* registryPath) {
  return kalvexDriverEntry(wdm::ours(driverObject), reinterpret_cast<const kernel::UnicodeString*>(registryPath));
}
