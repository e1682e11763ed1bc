#pragma once
// What the driver knows about the audio device's pins: the pins created and
// not yet claimed, the one capture pin and the one render pin of the whole
// driver, the kinds of the topology nodes and the last volume levels.
#include <stdint.h>

#include "engine/driver_state.h"
#include "filter/ks_layouts.h"
#include "filter/pin_table.h"
#include "kernel/io_request.h"

enum NodeKind : int32_t { kNodeOther = 0, kNodeMicVolume = 1, kNodeMasterVolume = 2 };

struct PinTracking {
  static constexpr uint32_t kNodeCount = 32;                // topology node ids 0 .. 31
  static constexpr uint32_t kInitialMinRenderRate = 192000;  // Hz

  // Under the stream lock.
  PinTable table;
  kernel::FileObject* capturePin;  // or none
  kernel::FileObject* renderPin;   // or none
  ks::WAVEFORMATEX renderFormat;   // zero while no render pin is tracked
  int32_t micLevel;                // tenths of a dB, multiples of 15
  int32_t masterLevel;
  // Single values written without the lock: read and written as relaxed atomics.
  int32_t nodeKinds[kNodeCount];  // NodeKind
  uint32_t minRenderRate;         // Hz; the lowest render range minimum seen, only decreases
};

void initializePinTracking(PinTracking& pins);

// The completion of a successful pin creation: `connect` is the create's
// system buffer, a KSPIN_CONNECT followed by the pin's data format. A pin of
// a recognised format goes into the table.
void pinCreated(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject, uint32_t processId,
                const uint8_t* connect);

// The first read or write of a pin in the table claims it as the capture or
// render pin while none is tracked. Both take the stream lock.
void claimCapturePin(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject);
void claimRenderPin(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject);
bool isCapturePin(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject);
bool isRenderPin(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject);

// A stop of `fileObject`'s connection state: the tracked pin it is lets go,
// with its formats and flags, and takes the engine down. Takes the stream lock.
void pinStopped(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject);

// minRenderRate = min(minRenderRate, rate), atomically.
void lowerMinRenderRate(PinTracking& pins, uint32_t rate);
inline uint32_t minRenderRate(const PinTracking& pins) { return __atomic_load_n(&pins.minRenderRate, __ATOMIC_RELAXED); }
inline int32_t nodeKind(const PinTracking& pins, uint32_t node) {
  return __atomic_load_n(&pins.nodeKinds[node], __ATOMIC_RELAXED);
}
