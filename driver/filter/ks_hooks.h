#pragma once
// The interception hooks of the kernel-streaming requests: pin creation,
// property requests and the stream requests of the pins.
#include "filter/interception_hooks.h"

InterceptionHooks kernelStreamingHooks();
