#pragma once
// I/O requests: the request with its stack of locations, one per device it
// passes, and the routines that move it down the stack and complete it.
#include <stdint.h>

#include "kernel/device_object.h"
#include "kernel/status.h"

namespace kernel {

struct StackLocation;
struct FileObject;

inline constexpr bool isSuccess(Status status) { return status >= 0; }

// Major functions.
inline constexpr uint8_t kIrpMjCreate = 0x00;
inline constexpr uint8_t kIrpMjClose = 0x02;
inline constexpr uint8_t kIrpMjRead = 0x03;
inline constexpr uint8_t kIrpMjWrite = 0x04;
inline constexpr uint8_t kIrpMjDeviceControl = 0x0E;
inline constexpr uint8_t kIrpMjInternalDeviceControl = 0x0F;
inline constexpr uint8_t kIrpMjCleanup = 0x12;
inline constexpr uint8_t kIrpMjPower = 0x16;
inline constexpr uint8_t kIrpMjSystemControl = 0x17;
inline constexpr uint8_t kIrpMjPnp = 0x1B;

// Plug-and-play minor functions.
inline constexpr uint8_t kIrpMnStartDevice = 0x00;
inline constexpr uint8_t kIrpMnQueryRemoveDevice = 0x01;
inline constexpr uint8_t kIrpMnRemoveDevice = 0x02;
inline constexpr uint8_t kIrpMnCancelRemoveDevice = 0x03;
inline constexpr uint8_t kIrpMnStopDevice = 0x04;
inline constexpr uint8_t kIrpMnQueryStopDevice = 0x05;
inline constexpr uint8_t kIrpMnCancelStopDevice = 0x06;
inline constexpr uint8_t kIrpMnQueryDeviceRelations = 0x07;
inline constexpr uint8_t kIrpMnQueryCapabilities = 0x09;
inline constexpr uint8_t kIrpMnDeviceUsageNotification = 0x16;
inline constexpr uint8_t kIrpMnSurpriseRemoval = 0x17;

// Power minor functions.
inline constexpr uint8_t kIrpMnSetPower = 0x02;
inline constexpr uint8_t kIrpMnQueryPower = 0x03;

enum class RequestorMode : uint8_t { Kernel = 0, User = 1 };

// The device control code's device type: its upper 16 bits.
inline constexpr uint32_t controlCodeDeviceType(uint32_t code) { return code >> 16; }

// Called as the request completes back up through the location the routine
// was set for. STATUS_MORE_PROCESSING_REQUIRED stops the completion there;
// any other value lets it continue.
using CompletionRoutine = Status (*)(DeviceObject* device, Irp* irp, void* context);
inline constexpr Status kStatusContinueCompletion = kStatusSuccess;

// The location of the device that currently owns the request.
StackLocation* currentStackLocation(Irp* irp);
uint8_t majorFunction(const StackLocation* stack);
uint8_t minorFunction(const StackLocation* stack);
// Device control parameters; lengths in bytes.
uint32_t ioControlCode(const StackLocation* stack);
uint32_t inputBufferLength(const StackLocation* stack);
uint32_t outputBufferLength(const StackLocation* stack);
// The requester's own input buffer of a method-neither control request.
void* type3InputBuffer(const StackLocation* stack);
FileObject* fileObject(const StackLocation* stack);

// The buffer the I/O manager copied a buffered request into, or none.
void* systemBuffer(Irp* irp);
void* userBuffer(Irp* irp);
RequestorMode requestorMode(Irp* irp);
Status requestStatus(Irp* irp);
void setRequestStatus(Irp* irp, Status status);
uintptr_t requestInformation(Irp* irp);
// For most requests: the number of bytes returned.
void setRequestInformation(Irp* irp, uintptr_t information);
// True in a completion routine when a lower driver returned STATUS_PENDING.
bool pendingReturned(Irp* irp);
void markPending(Irp* irp);

// Gives the next driver a copy of this location (without its completion routine).
void copyCurrentStackLocationToNext(Irp* irp);
// Gives the next driver this very location; no completion routine of ours runs.
void skipCurrentStackLocation(Irp* irp);
// Sets a routine for the next location, run when the request completes with
// success, with an error or cancelled, as the three switches ask.
void setCompletionRoutine(Irp* irp, CompletionRoutine routine, void* context, bool onSuccess, bool onError,
                          bool onCancel);

// Hands the request to `device`'s dispatch routine and returns its status.
Status callDriver(DeviceObject* device, Irp* irp);
// Completes the request without a priority boost.
void completeRequest(Irp* irp);

void startNextPowerIrp(Irp* irp);
Status poCallDriver(DeviceObject* device, Irp* irp);

}  // namespace kernel
