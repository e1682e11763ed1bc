#pragma once
// The audio device model behind the simulated function driver: as much of a
// kernel-streaming audio device as the filter above it reads. Two pin
// factories (capture and render) with their data ranges and intersection,
// pin creation from a KSPIN_CONNECT and a data format, the connection state
// and data format of each pin, volume levels and names of topology nodes,
// and read and write stream requests served by a capture source and a
// render sink.
#include <stdint.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/io_request.h"

namespace sim {

// One audio data range of a pin factory.
struct AudioRange {
  uint32_t maxChannels;
  uint32_t minBits;
  uint32_t maxBits;
  uint32_t minRate;  // Hz
  uint32_t maxRate;  // Hz
};

// A PCM wave format.
struct WaveFormat {
  uint16_t channels;
  uint32_t rate;  // Hz
  uint16_t bits;
  uint32_t frameBytes() const { return static_cast<uint32_t>(channels) * bits / 8; }
  bool operator==(const WaveFormat&) const = default;
};

// How a data format carries its wave format.
enum class FormatSpecifier { WaveFormatEx, DirectSound };

// Fills `bytes` bytes of interleaved frames in `format`; answers the bytes filled.
using CaptureSource = std::function<uint32_t(uint8_t* data, uint32_t bytes, const WaveFormat& format)>;
// Takes `bytes` bytes of interleaved frames in `format`, as played.
using RenderSink = std::function<void(const uint8_t* data, uint32_t bytes, const WaveFormat& format)>;

class AudioDeviceModel {
 public:
  // The factories' ids; the default ranges cover 1 to 2 channels, 8 to 16
  // bits (capture) or 8 to 32 bits (render), 8000 to 48000 Hz.
  AudioDeviceModel(uint32_t capturePinId = 2, uint32_t renderPinId = 0);

  void setRanges(uint32_t pinId, const std::vector<AudioRange>& ranges);
  void setNodeName(uint32_t node, const std::u16string& name);
  void setCaptureSource(CaptureSource source);
  void setRenderSink(RenderSink sink);

  int32_t volumeLevel(uint32_t node) const;  // 16.16 dB, as last set
  uint32_t connectionState(const kernel::FileObject* pin) const;
  WaveFormat pinFormat(const kernel::FileObject* pin) const;
  size_t pinCount() const;

  uint32_t capturePinId() const { return capturePinId_; }
  uint32_t renderPinId() const { return renderPinId_; }

  // Serves a request that reached the function driver: creation, close and
  // the kernel-streaming property and stream requests. False for anything
  // else, which the driver answers as before.
  bool serve(kernel::Irp* irp, kernel::StackLocation* stack, kernel::Status& status, uintptr_t& information);

  static constexpr kernel::Status kStatusNoMatch = static_cast<kernel::Status>(0xC0000272u);
  static constexpr kernel::Status kStatusNotFound = static_cast<kernel::Status>(0xC0000225u);

 private:
  struct Pin {
    uint32_t factory;
    bool capture;
    WaveFormat format;
    uint32_t state;
  };
  kernel::Status create(kernel::Irp* irp, kernel::StackLocation* stack);
  kernel::Status property(kernel::Irp* irp, kernel::StackLocation* stack, uintptr_t& information);
  kernel::Status stream(kernel::Irp* irp, kernel::StackLocation* stack, bool read, uintptr_t& information);
  bool inRanges(uint32_t factory, const WaveFormat& format) const;

  mutable std::mutex mutex_;
  uint32_t capturePinId_;
  uint32_t renderPinId_;
  std::map<uint32_t, std::vector<AudioRange>> ranges_;
  std::map<uint32_t, std::u16string> nodeNames_;
  std::map<uint32_t, int32_t> volumes_;
  std::map<const kernel::FileObject*, Pin> pins_;
  CaptureSource source_;
  RenderSink sink_;
};

// The data format bytes of `format`: a KSDATAFORMAT and its wave format.
std::vector<uint8_t> dataFormatBytes(const WaveFormat& format, FormatSpecifier specifier = FormatSpecifier::WaveFormatEx);
// A KSMULTIPLE_ITEM of KSDATARANGE_AUDIO items.
std::vector<uint8_t> dataRangeListBytes(const std::vector<AudioRange>& ranges);
// The ranges of such a list (its recognisable items).
std::vector<AudioRange> parseDataRangeList(const uint8_t* list, size_t bytes);
// The wave format of a data format of either specifier; false when it has none.
bool parseDataFormat(const uint8_t* format, size_t bytes, WaveFormat& wave);

}  // namespace sim
