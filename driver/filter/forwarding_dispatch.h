#pragma once
// The dispatch routine of every request no other handler takes: under the
// remove lock, the interception hook of the request decides whether it
// passes down untouched, passes down with our completion routine, or is
// completed here.
#include "filter/interception_hooks.h"
#include "kernel/io_request.h"

kernel::Status forwardRequest(kernel::DeviceObject* device, kernel::Irp* irp);

// The hook that decides for this request (the pass-through one for requests
// nobody intercepts).
HookDecision decideRequest(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp,
                           kernel::StackLocation* stack);

// Our completion routine for requests passed with completion; `context` is
// the filter extension.
kernel::Status forwardingCompletion(kernel::DeviceObject* device, kernel::Irp* irp, void* context);
