#include "filter/ks_hooks.h"

#include "filter/filter_driver.h"
#include "filter/property_interception.h"
#include "filter/stream_interception.h"
#include "kernel/process.h"

namespace {

HookDecision pinCreationHook(FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) {
  return {HookAction::PassWithCompletion, kernel::kStatusSuccess};
}

void pinCreationCompletion(FilterDriver& filter, FilterExtension&, kernel::Irp* irp, kernel::StackLocation* stack,
                           kernel::Status) {
  pinCreated(filter.state, filter.pins, kernel::fileObject(stack), kernel::currentProcessId(),
             static_cast<const uint8_t*>(kernel::systemBuffer(irp)));
}

// False for requests the driver does not read: those of user-mode
// requesters and those without a whole KSPROPERTY.
bool readPropertyRequest(kernel::Irp* irp, kernel::StackLocation* stack, PropertyRequest& request) {
  if (kernel::requestorMode(irp) != kernel::RequestorMode::Kernel) return false;
  auto* input = static_cast<uint8_t*>(kernel::type3InputBuffer(stack));
  uint32_t inputLength = kernel::inputBufferLength(stack);
  if (input == nullptr || inputLength < sizeof(ks::KSPROPERTY)) return false;
  request.fileObject = kernel::fileObject(stack);
  request.set = ks::loadGuid(input);
  request.id = ks::loadU32(input + offsetof(ks::KSPROPERTY, Id));
  request.flags = ks::loadU32(input + offsetof(ks::KSPROPERTY, Flags));
  request.input = input;
  request.inputLength = inputLength;
  void* data = kernel::systemBuffer(irp);
  if (data == nullptr) data = kernel::userBuffer(irp);
  request.data = static_cast<uint8_t*>(data);
  request.dataLength = kernel::outputBufferLength(stack);
  return true;
}

HookDecision propertyHook(FilterDriver& filter, FilterExtension&, kernel::Irp* irp, kernel::StackLocation* stack) {
  PropertyRequest request{};
  if (!readPropertyRequest(irp, stack, request)) return {HookAction::Pass, kernel::kStatusSuccess};
  return propertyGoingDown(filter, request);
}

void propertyCompletionHook(FilterDriver& filter, FilterExtension&, kernel::Irp* irp, kernel::StackLocation* stack,
                            kernel::Status status) {
  PropertyRequest request{};
  if (readPropertyRequest(irp, stack, request)) propertyCompleted(filter, request, status);
}

}  // namespace

InterceptionHooks kernelStreamingHooks() {
  return {pinCreationHook,       captureHook,       renderHook,           propertyHook,
          pinCreationCompletion, captureCompletion, propertyCompletionHook};
}
