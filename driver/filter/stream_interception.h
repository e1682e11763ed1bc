#pragma once
// The read and write requests of the pins: the first stream header's data,
// and the hooks that claim the pins and hand the tracked pins' buffers to
// the capture and render paths.
#include <stdint.h>

#include "filter/interception_hooks.h"
#include "kernel/io_request.h"

// The data of the first KSSTREAM_HEADER in `headers` (`headersLength`
// bytes): false when the buffer cannot hold a header, the header has no
// data, or its DataUsed exceeds its FrameExtent (the requester's claim of
// the buffer's size) — such a request is malformed and passes untouched.
bool streamData(const void* headers, uint32_t headersLength, uint8_t*& data, uint32_t& dataUsed);

// The stream headers of a request: the system buffer; when there is none
// and the requester is in kernel mode, the user buffer; otherwise none.
void* streamHeaders(kernel::Irp* irp);

HookDecision captureHook(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp, kernel::StackLocation* stack);
void captureCompletion(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp, kernel::StackLocation* stack,
                       kernel::Status status);
HookDecision renderHook(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp, kernel::StackLocation* stack);
