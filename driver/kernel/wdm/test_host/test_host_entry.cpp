// The entry of the test-host image, which Wine loads as a legacy kernel
// service (it loads no plug-and-play filter). After the driver's real entry
// it stands up a simulated audio device of its own, hands it to the driver's
// real add-device and starts the stack through the real request path, so the
// control device comes into being exactly as on a machine with an audio
// device. The unload removes the stack the same way, then runs the driver's
// unload. The driver's code and the backend are the very ones of Kalvex.sys.
//
// The simulated audio device belongs to this driver object, so its requests
// reach the driver's dispatch table: the host puts itself in front of every
// entry, answers what is sent to the audio device the way a bus driver's
// device would, and passes everything else on unchanged.
#include "filter/filter_driver.h"
#include "kernel/wdm/wdm_platform.h"

namespace {

// Zero at load, like all the image's global memory.
DEVICE_OBJECT* audioDevice;
PDRIVER_DISPATCH driverDispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];
PDRIVER_UNLOAD driverUnload;

// The audio device's answers: plug-and-play and power requests succeed
// (start, remove and the rest: there is no hardware); anything else is not
// a request this device takes.
NTSTATUS completeAsAudioDevice(IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = irp->IoStatus.Status;
  if (stack->MajorFunction == IRP_MJ_PNP || stack->MajorFunction == IRP_MJ_POWER) {
    status = STATUS_SUCCESS;
    if (stack->MajorFunction == IRP_MJ_POWER) PoStartNextPowerIrp(irp);
  } else if (stack->MajorFunction != IRP_MJ_CREATE && stack->MajorFunction != IRP_MJ_CLOSE &&
             stack->MajorFunction != IRP_MJ_CLEANUP) {
    status = STATUS_INVALID_DEVICE_REQUEST;
  } else {
    status = STATUS_SUCCESS;
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS NTAPI hostDispatch(DEVICE_OBJECT* device, IRP* irp) {
  if (device == audioDevice) return completeAsAudioDevice(irp);
  return driverDispatch[IoGetCurrentIrpStackLocation(irp)->MajorFunction](device, irp);
}

NTSTATUS NTAPI signalDone(DEVICE_OBJECT*, IRP*, void* context) {
  KeSetEvent(static_cast<KEVENT*>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;  // the request is ours to free
}

// Sends a plug-and-play request to the top of the audio device's stack, as
// the plug-and-play manager does, and waits for it.
NTSTATUS sendPnp(UCHAR minor) {
  DEVICE_OBJECT* top = IoGetAttachedDeviceReference(audioDevice);
  IRP* irp = IoAllocateIrp(top->StackSize, FALSE);
  if (irp == nullptr) {
    ObDereferenceObject(top);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;  // what the manager starts every request with
  IO_STACK_LOCATION* stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = IRP_MJ_PNP;
  stack->MinorFunction = minor;
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoSetCompletionRoutine(irp, signalDone, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(top, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  NTSTATUS status = irp->IoStatus.Status;
  IoFreeIrp(irp);
  ObDereferenceObject(top);
  return status;
}

VOID NTAPI hostUnload(DRIVER_OBJECT* driverObject) {
  if (audioDevice != nullptr) {
    // The filter device detaches and deletes itself, and with it the
    // control device; then the audio device goes.
    sendPnp(IRP_MN_REMOVE_DEVICE);
    IoDeleteDevice(audioDevice);
    audioDevice = nullptr;
  }
  driverUnload(driverObject);
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driverObject, UNICODE_STRING* registryPath) {
  NTSTATUS status =
      kalvexDriverEntry(wdm::ours(driverObject), reinterpret_cast<const kernel::UnicodeString*>(registryPath));
  if (!NT_SUCCESS(status)) return status;

  for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; major++) {
    driverDispatch[major] = driverObject->MajorFunction[major];
    driverObject->MajorFunction[major] = hostDispatch;
  }
  driverUnload = driverObject->DriverUnload;
  driverObject->DriverUnload = hostUnload;

  // The audio device as its bus driver would create it: unnamed, of the
  // kernel-streaming type, direct I/O, power requests at a pageable level.
  status = IoCreateDevice(driverObject, 0, nullptr, FILE_DEVICE_KS, FILE_DEVICE_SECURE_OPEN, FALSE, &audioDevice);
  if (!NT_SUCCESS(status)) {
    audioDevice = nullptr;
    return status;
  }
  audioDevice->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;
  audioDevice->Flags &= ~DO_DEVICE_INITIALIZING;

  status = driverObject->DriverExtension->AddDevice(driverObject, audioDevice);
  if (NT_SUCCESS(status)) status = sendPnp(IRP_MN_START_DEVICE);
  if (!NT_SUCCESS(status)) {
    // Nothing stays behind a failed load: a started-or-not filter device is
    // removed through its stack, then the audio device goes.
    if (audioDevice->AttachedDevice != nullptr) sendPnp(IRP_MN_REMOVE_DEVICE);
    IoDeleteDevice(audioDevice);
    audioDevice = nullptr;
    return status;
  }
  return STATUS_SUCCESS;
}
