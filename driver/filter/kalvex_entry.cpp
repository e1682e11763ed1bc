#include "filter/filter_driver.h"

namespace {

// Zero at load, like all the driver's global memory: nothing runs before the entry.
FilterDriver kalvex;

}  // namespace

kernel::Status kalvexDriverEntry(kernel::DriverObject* driverObject, const kernel::UnicodeString* registryPath) {
  return filterDriverEntry(kalvex, driverObject, *registryPath);
}
