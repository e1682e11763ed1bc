#include "filter/stream_interception.h"

#include "filter/capture_stream.h"
#include "filter/filter_driver.h"
#include "filter/ks_layouts.h"
#include "filter/render_stream.h"

bool streamData(const void* headers, uint32_t headersLength, uint8_t*& data, uint32_t& dataUsed) {
  if (headers == nullptr || headersLength < sizeof(ks::KSSTREAM_HEADER)) return false;
  const auto* bytes = static_cast<const uint8_t*>(headers);
  uint32_t frameExtent = ks::loadU32(bytes + offsetof(ks::KSSTREAM_HEADER, FrameExtent));
  uint32_t used = ks::loadU32(bytes + offsetof(ks::KSSTREAM_HEADER, DataUsed));
  auto* at = static_cast<uint8_t*>(ks::loadPointer(bytes + offsetof(ks::KSSTREAM_HEADER, Data)));
  if (at == nullptr || used > frameExtent) return false;
  data = at;
  dataUsed = used;
  return true;
}

void* streamHeaders(kernel::Irp* irp) {
  void* headers = kernel::systemBuffer(irp);
  if (headers == nullptr && kernel::requestorMode(irp) == kernel::RequestorMode::Kernel) {
    headers = kernel::userBuffer(irp);
  }
  return headers;
}

HookDecision captureHook(FilterDriver& filter, FilterExtension&, kernel::Irp*, kernel::StackLocation* stack) {
  claimCapturePin(filter.state, filter.pins, kernel::fileObject(stack));
  return {HookAction::PassWithCompletion, kernel::kStatusSuccess};
}

void captureCompletion(FilterDriver& filter, FilterExtension&, kernel::Irp* irp, kernel::StackLocation* stack,
                       kernel::Status) {
  // Only the tracked capture pin's samples are in the format the status
  // records; other streams pass as the lower driver filled them.
  if (!isCapturePin(filter.state, filter.pins, kernel::fileObject(stack))) return;
  bool kernelMode = kernel::requestorMode(irp) == kernel::RequestorMode::Kernel;
  uint8_t* data = nullptr;
  uint32_t dataUsed = 0;
  if (kernelMode && !streamData(streamHeaders(irp), kernel::outputBufferLength(stack), data, dataUsed)) {
    data = nullptr;
    dataUsed = 0;
  }
  captureBufferFilled(filter.state, data, dataUsed, kernelMode);
}

HookDecision renderHook(FilterDriver& filter, FilterExtension&, kernel::Irp* irp, kernel::StackLocation* stack) {
  constexpr HookDecision kPass = {HookAction::Pass, kernel::kStatusSuccess};
  kernel::FileObject* file = kernel::fileObject(stack);
  claimRenderPin(filter.state, filter.pins, file);
  // A user-mode requester's data pointer is a user address the driver
  // cannot probe: its writes pass unexamined.
  if (kernel::requestorMode(irp) != kernel::RequestorMode::Kernel) return kPass;
  if (!isRenderPin(filter.state, filter.pins, file)) return kPass;
  uint8_t* data = nullptr;
  uint32_t dataUsed = 0;
  if (streamData(streamHeaders(irp), kernel::outputBufferLength(stack), data, dataUsed)) {
    renderBufferWritten(filter.state, data, dataUsed);
  }
  return kPass;
}
