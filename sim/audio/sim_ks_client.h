#pragma once
// A requester of the simulated audio device: the system's mixer (kernel mode,
// the default) or an application talking to the device directly (user
// mode). It opens pins and the filter itself, sends property requests with
// their type-3 input and data buffer, and reads and writes streams with one
// KSSTREAM_HEADER per request.
#include <stdint.h>

#include <string>
#include <vector>

#include "filter/ks_layouts.h"
#include "sim/audio/sim_audio_model.h"
#include "sim/kernel/sim_io.h"

namespace sim {

class KsClient {
 public:
  // `device` is the audio device instance; requests go to the top of its stack.
  explicit KsClient(kernel::DeviceObject* device, kernel::RequestorMode mode = kernel::RequestorMode::Kernel);
  ~KsClient();  // closes what is still open
  KsClient(const KsClient&) = delete;
  KsClient& operator=(const KsClient&) = delete;

  // Stream headers in the system buffer instead of the user buffer.
  void setHeadersInSystemBuffer(bool inSystemBuffer) { headersInSystemBuffer_ = inSystemBuffer; }

  // A handle on the filter itself (node properties go to it); opened once.
  kernel::FileObject* filterHandle();
  // A pin of factory `pinId` in `format`; none when the creation failed (its status in `status`).
  kernel::FileObject* createPin(uint32_t pinId, const WaveFormat& format,
                                FormatSpecifier specifier = FormatSpecifier::WaveFormatEx,
                                kernel::Status* status = nullptr);
  // A creation with `connect` as its system buffer (none: the filter
  // itself), for creations of the caller's own making.
  kernel::FileObject* open(std::vector<uint8_t>* connect, kernel::Status& status);
  // Clean-up and close of a pin or the filter handle.
  void close(kernel::FileObject* file);

  // A property request: `input` is what follows the KSPROPERTY; `data` is
  // the data buffer (its size the output length; none when empty).
  // `inputAfter` receives the input as the request left it.
  RequestResult property(kernel::FileObject* file, const ks::GUID& set, uint32_t id, uint32_t flags,
                         const std::vector<uint8_t>& input, std::vector<uint8_t>& data,
                         std::vector<uint8_t>* inputAfter = nullptr);

  // The negotiation steps of a pin factory.
  kernel::Status dataRanges(uint32_t pinId, std::vector<AudioRange>& ranges);
  kernel::Status intersect(uint32_t pinId, const std::vector<AudioRange>& proposed, WaveFormat& chosen);
  kernel::Status setDataFormat(kernel::FileObject* pin, const WaveFormat& format,
                               FormatSpecifier specifier = FormatSpecifier::WaveFormatEx);
  kernel::Status setState(kernel::FileObject* pin, uint32_t state);
  kernel::Status getState(kernel::FileObject* pin, uint32_t& state);
  kernel::Status setVolume(uint32_t node, int32_t level);  // 16.16 dB
  kernel::Status nodeName(uint32_t node, std::u16string& name);

  // A read of up to `bytes` bytes: `data` comes back with what the device
  // filled, cut to DataUsed. `dataUsed` is the header's DataUsed afterwards.
  RequestResult read(kernel::FileObject* pin, std::vector<uint8_t>& data, uint32_t bytes, uint32_t* dataUsed = nullptr);
  // A write of `data`, which the filter may change in place on its way down.
  RequestResult write(kernel::FileObject* pin, std::vector<uint8_t>& data);
  // A stream request with a header of the caller's own (for malformed ones).
  RequestResult stream(kernel::FileObject* pin, bool read, ks::KSSTREAM_HEADER& header);

 private:
  kernel::DeviceObject* device_;
  kernel::RequestorMode mode_;
  bool headersInSystemBuffer_ = false;
  kernel::FileObject* filter_ = nullptr;
  std::vector<kernel::FileObject*> open_;
};

}  // namespace sim
