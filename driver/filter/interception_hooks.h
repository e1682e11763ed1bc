#pragma once
// The points where the pin tracking and the stream interception look at the
// requests passing a filter device: a hook on the way down decides what
// happens to the request, a completion hook sees it on the way back up.
#include <stdint.h>

#include "kernel/io_request.h"

struct FilterDriver;
struct FilterExtension;

// The kernel-streaming control codes the hooks are chosen by.
inline constexpr uint32_t kIoctlKsProperty = 0x002F0003;
inline constexpr uint32_t kIoctlKsReadStream = 0x002F4017;
inline constexpr uint32_t kIoctlKsWriteStream = 0x002F8013;

enum class HookAction : uint8_t {
  Pass,                // to the lower device, no completion of ours
  PassWithCompletion,  // to the lower device, the completion hooks run on the way up
  CompleteHere,        // completed by the driver with the decision's status
};

struct HookDecision {
  HookAction action;
  kernel::Status status;
};

using RequestHook = HookDecision (*)(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp,
                                     kernel::StackLocation* stack);
// `status` is the status the lower driver completed the request with.
using CompletionHook = void (*)(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp,
                                kernel::StackLocation* stack, kernel::Status status);

struct InterceptionHooks {
  RequestHook pinCreation;  // IRP_MJ_CREATE
  RequestHook capture;      // IOCTL_KS_READ_STREAM
  RequestHook render;       // IOCTL_KS_WRITE_STREAM
  RequestHook property;     // IOCTL_KS_PROPERTY
  CompletionHook pinCreationCompletion;  // a create that succeeded
  CompletionHook captureCompletion;      // a read that succeeded
  CompletionHook propertyCompletion;     // every property request, whatever its status
};

// The hooks of a driver that intercepts nothing yet: every request passes.
InterceptionHooks passThroughHooks();
