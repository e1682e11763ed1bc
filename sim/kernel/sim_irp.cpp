// Requests: the stack of locations, moving down it, completing back up it,
// and the senders (the I/O manager for tests, the plug-and-play manager).
#include <stdlib.h>

#include "kernel/irql.h"
#include "sim_io_state.h"
#include "sim_kernel.h"

namespace {

using sim::detail::io;

kernel::StackLocation* current(kernel::Irp* irp) {
  if (irp->currentLocation < 1 || irp->currentLocation > irp->stackCount) {
    sim::recordViolation("no current stack location");
    abort();
  }
  return &irp->stack[irp->currentLocation - 1];
}

kernel::StackLocation* next(kernel::Irp* irp) {
  if (irp->currentLocation < 2) {
    sim::recordViolation("no stack location left for the next driver");
    abort();
  }
  return &irp->stack[irp->currentLocation - 2];
}

std::string describe(const kernel::StackLocation* s) {
  return sim::describeRequest(s->major, s->minor, s->ioControlCode);
}

}  // namespace

namespace kernel {

StackLocation* currentStackLocation(Irp* irp) { return current(irp); }
uint8_t majorFunction(const StackLocation* stack) { return stack->major; }
uint8_t minorFunction(const StackLocation* stack) { return stack->minor; }
uint32_t ioControlCode(const StackLocation* stack) { return stack->ioControlCode; }
uint32_t inputBufferLength(const StackLocation* stack) { return stack->inputBufferLength; }
uint32_t outputBufferLength(const StackLocation* stack) { return stack->outputBufferLength; }
void* type3InputBuffer(const StackLocation* stack) { return stack->type3InputBuffer; }
FileObject* fileObject(const StackLocation* stack) { return stack->file; }

void* systemBuffer(Irp* irp) { return irp->systemBuffer; }
void* userBuffer(Irp* irp) { return irp->userBuffer; }
RequestorMode requestorMode(Irp* irp) { return irp->requestorMode; }
Status requestStatus(Irp* irp) { return irp->status; }
void setRequestStatus(Irp* irp, Status status) { irp->status = status; }
uintptr_t requestInformation(Irp* irp) { return irp->information; }
void setRequestInformation(Irp* irp, uintptr_t information) { irp->information = information; }
bool pendingReturned(Irp* irp) { return irp->pendingReturned; }
void markPending(Irp* irp) { current(irp)->control |= kSlPendingReturned; }

void copyCurrentStackLocationToNext(Irp* irp) {
  StackLocation* from = current(irp);
  StackLocation* to = next(irp);
  *to = *from;
  to->completion = nullptr;
  to->context = nullptr;
  to->control = 0;
}

void skipCurrentStackLocation(Irp* irp) { irp->currentLocation++; }

void setCompletionRoutine(Irp* irp, CompletionRoutine routine, void* context, bool onSuccess, bool onError,
                          bool onCancel) {
  StackLocation* to = next(irp);
  to->completion = routine;
  to->context = context;
  to->control = static_cast<uint8_t>((onSuccess ? kSlInvokeOnSuccess : 0) | (onError ? kSlInvokeOnError : 0) |
                                     (onCancel ? kSlInvokeOnCancel : 0));
}

Status callDriver(DeviceObject* device, Irp* irp) {
  irp->currentLocation--;
  StackLocation* stack = current(irp);
  stack->device = device;
  sim::logCall(device->label + " <- " + describe(stack));
  return device->driver->majorFunction[stack->major](device, irp);
}

void completeRequest(Irp* irp) {
  if (irp->completed.load() != 0 || irp->currentLocation > irp->stackCount) {
    sim::recordViolation("request completed twice");
    return;
  }
  StackLocation* stack = current(irp);
  sim::logCall(stack->device->label + " completes " + describe(stack) + ": " + sim::hexStatus(irp->status));
  // Up through every location: the routine set for a location runs as the
  // request leaves it, in the context of the driver that set it.
  while (irp->currentLocation <= irp->stackCount) {
    stack = &irp->stack[irp->currentLocation - 1];
    irp->pendingReturned = (stack->control & kSlPendingReturned) != 0;
    irp->currentLocation++;
    bool atTop = irp->currentLocation > irp->stackCount;
    uint8_t control = stack->control;
    bool invoke = stack->completion != nullptr &&
                  ((isSuccess(irp->status) && (control & kSlInvokeOnSuccess) != 0) ||
                   (!isSuccess(irp->status) && (control & kSlInvokeOnError) != 0) ||
                   (irp->cancel && (control & kSlInvokeOnCancel) != 0));
    if (invoke) {
      DeviceObject* owner = atTop ? nullptr : irp->stack[irp->currentLocation - 1].device;
      if (stack->completion(owner, irp, stack->context) == kStatusMoreProcessingRequired) return;
    } else if (irp->pendingReturned && !atTop) {
      markPending(irp);
    }
  }
  irp->completed.store(1);
  irp->completed.notify_all();
}

void startNextPowerIrp(Irp* irp) { sim::logCall(current(irp)->device->label + " starts the next power request"); }

Status poCallDriver(DeviceObject* device, Irp* irp) { return callDriver(device, irp); }

}  // namespace kernel

namespace sim {

kernel::Irp* allocateIrp(int8_t stackCount) {
  if (stackCount < 1 || stackCount > kernel::kMaxStackLocations) {
    recordViolation("request with an impossible stack size");
    abort();
  }
  auto* irp = new kernel::Irp{};
  irp->stackCount = stackCount;
  irp->currentLocation = static_cast<int8_t>(stackCount + 1);
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().liveIrps++;
  return irp;
}

void freeIrp(kernel::Irp* irp) {
  delete irp;
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().liveIrps--;
}

void waitForCompletion(kernel::Irp* irp) {
  while (irp->completed.load() == 0) irp->completed.wait(0);
}

RequestResult sendRequest(kernel::DeviceObject* target, const RequestShape& shape) {
  kernel::Irp* irp = allocateIrp(target->stackSize);
  irp->status = shape.initialStatus;
  irp->systemBuffer = shape.systemBuffer;
  irp->userBuffer = shape.userBuffer;
  irp->requestorMode = shape.requestorMode;
  // The sender fills the location of the first driver.
  kernel::StackLocation& first = irp->stack[irp->currentLocation - 2];
  first.major = shape.major;
  first.minor = shape.minor;
  first.ioControlCode = shape.ioControlCode;
  first.inputBufferLength = shape.inputLength;
  first.outputBufferLength = shape.outputLength;
  first.type3InputBuffer = shape.type3InputBuffer;
  first.file = shape.file;
  std::string what = describeRequest(shape.major, shape.minor, shape.ioControlCode);

  kernel::Status returned = kernel::callDriver(target, irp);
  if (returned == kernel::kStatusPending) waitForCompletion(irp);
  if (irp->completed.load() == 0) {
    recordViolation(what + ": returned " + hexStatus(returned) + " without completing the request");
    waitForCompletion(irp);
  }
  if (returned == kernel::kStatusPending && !irp->pendingReturned) {
    recordViolation(what + ": returned STATUS_PENDING without marking the request pending");
  }
  if (returned != kernel::kStatusPending && irp->pendingReturned) {
    recordViolation(what + ": marked pending but returned " + hexStatus(returned));
  }
  if (returned != kernel::kStatusPending && returned != irp->status) {
    recordViolation(what + ": returned " + hexStatus(returned) + " for a request completed with " +
                    hexStatus(irp->status));
  }
  RequestResult result{returned, irp->status, irp->information};
  freeIrp(irp);
  return result;
}

kernel::Status addDevice(kernel::DriverObject* driver, kernel::DeviceObject* physicalDevice) {
  return driver->addDevice(driver, physicalDevice);
}

RequestResult sendPnp(kernel::DeviceObject* physicalDevice, uint8_t minor) {
  RequestShape shape;
  shape.major = kernel::kIrpMjPnp;
  shape.minor = minor;
  shape.initialStatus = kernel::kStatusNotSupported;
  return sendRequest(topOfStack(physicalDevice), shape);
}

RequestResult sendPower(kernel::DeviceObject* physicalDevice, uint8_t minor) {
  RequestShape shape;
  shape.major = kernel::kIrpMjPower;
  shape.minor = minor;
  return sendRequest(topOfStack(physicalDevice), shape);
}

void unloadDriver(kernel::DriverObject* driver) {
  if (driver->deviceList != nullptr) recordViolation("driver unloaded while it still has devices");
  if (driver->unload != nullptr) driver->unload(driver);
}

}  // namespace sim
