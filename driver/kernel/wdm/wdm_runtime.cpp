// The language runtime's one hook the kernel image needs: there is no C++
// runtime in a driver image to supply it.
#include "kernel/pool.h"
#include "wdm_platform.h"

// A call through a pure virtual function is a fault of the driver itself:
// stop with the driver's pool tag as the code.
extern "C" void __cxa_pure_virtual() { KeBugCheckEx(kernel::kPoolTag, 0, 0, 0, 0); }
