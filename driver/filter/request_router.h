#pragma once
// The dispatch routine of create, close, clean-up, device control and
// internal device control, for both kinds of device: control requests go to
// the control handler, private codes sent to a filter device are refused,
// everything else is forwarded.
#include "kernel/io_request.h"

kernel::Status routeRequest(kernel::DeviceObject* device, kernel::Irp* irp);
