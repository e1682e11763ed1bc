// Requests over the I/O manager: stack locations, passing down, completion.
#include "kernel/io_request.h"

#include "kernel/pool.h"

#include "wdm_platform.h"

namespace {

static_assert(kernel::kIrpMjCreate == IRP_MJ_CREATE && kernel::kIrpMjClose == IRP_MJ_CLOSE);
static_assert(kernel::kIrpMjRead == IRP_MJ_READ && kernel::kIrpMjWrite == IRP_MJ_WRITE);
static_assert(kernel::kIrpMjDeviceControl == IRP_MJ_DEVICE_CONTROL);
static_assert(kernel::kIrpMjInternalDeviceControl == IRP_MJ_INTERNAL_DEVICE_CONTROL);
static_assert(kernel::kIrpMjCleanup == IRP_MJ_CLEANUP && kernel::kIrpMjPower == IRP_MJ_POWER);
static_assert(kernel::kIrpMjSystemControl == IRP_MJ_SYSTEM_CONTROL && kernel::kIrpMjPnp == IRP_MJ_PNP);
static_assert(kernel::kIrpMnStartDevice == IRP_MN_START_DEVICE);
static_assert(kernel::kIrpMnQueryRemoveDevice == IRP_MN_QUERY_REMOVE_DEVICE);
static_assert(kernel::kIrpMnRemoveDevice == IRP_MN_REMOVE_DEVICE);
static_assert(kernel::kIrpMnCancelRemoveDevice == IRP_MN_CANCEL_REMOVE_DEVICE);
static_assert(kernel::kIrpMnStopDevice == IRP_MN_STOP_DEVICE);
static_assert(kernel::kIrpMnQueryStopDevice == IRP_MN_QUERY_STOP_DEVICE);
static_assert(kernel::kIrpMnCancelStopDevice == IRP_MN_CANCEL_STOP_DEVICE);
static_assert(kernel::kIrpMnQueryDeviceRelations == IRP_MN_QUERY_DEVICE_RELATIONS);
static_assert(kernel::kIrpMnQueryCapabilities == IRP_MN_QUERY_CAPABILITIES);
static_assert(kernel::kIrpMnDeviceUsageNotification == IRP_MN_DEVICE_USAGE_NOTIFICATION);
static_assert(kernel::kIrpMnSurpriseRemoval == IRP_MN_SURPRISE_REMOVAL);
static_assert(kernel::kIrpMnSetPower == IRP_MN_SET_POWER && kernel::kIrpMnQueryPower == IRP_MN_QUERY_POWER);
static_assert(static_cast<int>(kernel::RequestorMode::Kernel) == KernelMode);
static_assert(static_cast<int>(kernel::RequestorMode::User) == UserMode);
static_assert(kernel::kStatusContinueCompletion == STATUS_CONTINUE_COMPLETION);
static_assert(kernel::kStatusMoreProcessingRequired == STATUS_MORE_PROCESSING_REQUIRED);
static_assert(kernel::kStatusPending == STATUS_PENDING && kernel::kStatusSuccess == STATUS_SUCCESS);
static_assert(kernel::kStatusUnsuccessful == STATUS_UNSUCCESSFUL);
static_assert(kernel::kStatusDeviceRemoved == STATUS_DEVICE_REMOVED);
static_assert(kernel::kStatusBufferOverflow == STATUS_BUFFER_OVERFLOW);
static_assert(kernel::kStatusInvalidDeviceRequest == STATUS_INVALID_DEVICE_REQUEST);
static_assert(kernel::kStatusBufferTooSmall == STATUS_BUFFER_TOO_SMALL);
static_assert(kernel::kStatusObjectNameNotFound == STATUS_OBJECT_NAME_NOT_FOUND);
static_assert(kernel::kStatusObjectNameCollision == STATUS_OBJECT_NAME_COLLISION);
static_assert(kernel::kStatusDeletePending == STATUS_DELETE_PENDING);
static_assert(kernel::kStatusInsufficientResources == STATUS_INSUFFICIENT_RESOURCES);
static_assert(kernel::kStatusNotSupported == STATUS_NOT_SUPPORTED);
static_assert(kernel::kStatusNoSuchDevice == STATUS_NO_SUCH_DEVICE);

// The platform's completion routines are NTAPI and carry one context
// pointer. Each of our routines gets a thunk of its own from this fixed set,
// handed out on first use, so that the context pointer stays the caller's.
// The driver has a handful of completion routines; the set is generous.
constexpr int kCompletionThunks = 16;
kernel::CompletionRoutine completionRoutines[kCompletionThunks];

template <int Slot>
NTSTATUS NTAPI completionThunk(DEVICE_OBJECT* device, IRP* irp, void* context) {
  return completionRoutines[Slot](wdm::ours(device), wdm::ours(irp), context);
}

template <int... Slots>
struct ThunkTable {
  static constexpr PIO_COMPLETION_ROUTINE thunks[] = {completionThunk<Slots>...};
};
constexpr auto& kThunks = ThunkTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>::thunks;
static_assert(sizeof kThunks / sizeof kThunks[0] == kCompletionThunks);

PIO_COMPLETION_ROUTINE thunkFor(kernel::CompletionRoutine routine) {
  for (int slot = 0; slot < kCompletionThunks; slot++) {
    kernel::CompletionRoutine expected = nullptr;
    // Claims a free slot, or finds the routine's own; slots are never given back.
    if (__atomic_compare_exchange_n(&completionRoutines[slot], &expected, routine, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE) ||
        expected == routine) {
      return kThunks[slot];
    }
  }
  // More distinct completion routines than thunks is a fault of the driver's
  // build, not of the running system: stop at once, with the driver's pool
  // tag as the code and the routine's address, rather than pass a request
  // on without the completion it needs.
  KeBugCheckEx(kernel::kPoolTag, reinterpret_cast<ULONG_PTR>(routine), kCompletionThunks, 0, 0);
}

}  // namespace

namespace kernel {

StackLocation* currentStackLocation(Irp* irp) {
  return reinterpret_cast<StackLocation*>(IoGetCurrentIrpStackLocation(wdm::native(irp)));
}
uint8_t majorFunction(const StackLocation* stack) { return wdm::native(stack)->MajorFunction; }
uint8_t minorFunction(const StackLocation* stack) { return wdm::native(stack)->MinorFunction; }
uint32_t ioControlCode(const StackLocation* stack) {
  return wdm::native(stack)->Parameters.DeviceIoControl.IoControlCode;
}
uint32_t inputBufferLength(const StackLocation* stack) {
  return wdm::native(stack)->Parameters.DeviceIoControl.InputBufferLength;
}
uint32_t outputBufferLength(const StackLocation* stack) {
  return wdm::native(stack)->Parameters.DeviceIoControl.OutputBufferLength;
}
void* type3InputBuffer(const StackLocation* stack) {
  return wdm::native(stack)->Parameters.DeviceIoControl.Type3InputBuffer;
}
FileObject* fileObject(const StackLocation* stack) {
  return reinterpret_cast<FileObject*>(wdm::native(stack)->FileObject);
}

void* systemBuffer(Irp* irp) { return wdm::native(irp)->AssociatedIrp.SystemBuffer; }
void* userBuffer(Irp* irp) { return wdm::native(irp)->UserBuffer; }
RequestorMode requestorMode(Irp* irp) {
  return wdm::native(irp)->RequestorMode == UserMode ? RequestorMode::User : RequestorMode::Kernel;
}
Status requestStatus(Irp* irp) { return wdm::native(irp)->IoStatus.Status; }
void setRequestStatus(Irp* irp, Status status) { wdm::native(irp)->IoStatus.Status = status; }
uintptr_t requestInformation(Irp* irp) { return wdm::native(irp)->IoStatus.Information; }
void setRequestInformation(Irp* irp, uintptr_t information) { wdm::native(irp)->IoStatus.Information = information; }
bool pendingReturned(Irp* irp) { return wdm::native(irp)->PendingReturned != FALSE; }
void markPending(Irp* irp) { IoMarkIrpPending(wdm::native(irp)); }

void copyCurrentStackLocationToNext(Irp* irp) { IoCopyCurrentIrpStackLocationToNext(wdm::native(irp)); }
void skipCurrentStackLocation(Irp* irp) { IoSkipCurrentIrpStackLocation(wdm::native(irp)); }

void setCompletionRoutine(Irp* irp, CompletionRoutine routine, void* context, bool onSuccess, bool onError,
                          bool onCancel) {
  IoSetCompletionRoutine(wdm::native(irp), thunkFor(routine), context, onSuccess ? TRUE : FALSE,
                         onError ? TRUE : FALSE, onCancel ? TRUE : FALSE);
}

Status callDriver(DeviceObject* device, Irp* irp) { return IoCallDriver(wdm::native(device), wdm::native(irp)); }
void completeRequest(Irp* irp) { IoCompleteRequest(wdm::native(irp), IO_NO_INCREMENT); }

void startNextPowerIrp(Irp* irp) { PoStartNextPowerIrp(wdm::native(irp)); }
Status poCallDriver(DeviceObject* device, Irp* irp) { return PoCallDriver(wdm::native(device), wdm::native(irp)); }

}  // namespace kernel
