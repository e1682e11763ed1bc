#pragma once
// Power requests of a filter device: passed down untouched, under the remove lock.
#include "kernel/io_request.h"

kernel::Status dispatchPower(kernel::DeviceObject* device, kernel::Irp* irp);
