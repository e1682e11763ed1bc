#pragma once
// Kernel-streaming property requests of the six properties the driver
// follows: the connection state and data format, the pins' data ranges and
// data intersection, the volume levels and the topology node names. Some are
// looked at on the way down, some on completion, a few are changed.
#include <stdint.h>

#include "filter/interception_hooks.h"
#include "filter/ks_layouts.h"
#include "kernel/io_request.h"

struct FilterDriver;

// One property request as the driver reads it. Only kernel-mode requesters'
// requests are read: a user-mode request carries user addresses that the
// driver cannot probe.
struct PropertyRequest {
  kernel::FileObject* fileObject;
  ks::GUID set;
  uint32_t id;
  uint32_t flags;  // KSPROPERTY_TYPE_GET / _SET
  uint8_t* input;  // the KSPROPERTY and what follows it, inputLength bytes (at least 24)
  uint32_t inputLength;
  uint8_t* data;  // the data buffer, dataLength bytes; may be none
  uint32_t dataLength;
};

enum class FollowedProperty : uint8_t {
  None,
  ConnectionState,
  DataFormat,
  DataRanges,
  DataIntersection,
  VolumeLevel,  // set requests only
  TopologyName,
};

FollowedProperty followedProperty(const PropertyRequest& request);

// The pin id (KSP_PIN) or node id (KSNODEPROPERTY) after the KSPROPERTY;
// false when the input is too short to hold it.
bool addressedId(const PropertyRequest& request, uint32_t& id);

// On the way down: what becomes of the request. Only the data-format
// refusal completes a request here (STATUS_UNSUCCESSFUL).
HookDecision propertyGoingDown(FilterDriver& filter, const PropertyRequest& request);
// On completion, with the lower driver's status.
void propertyCompleted(FilterDriver& filter, const PropertyRequest& request, kernel::Status status);

// The level rule of a volume set, in tenths of a dB: v in 16.16 dB.
int32_t micLevelFor(int32_t v);
// kIgnoredMasterLevel for levels below -128 dB.
int32_t masterLevelFor(int32_t v);
inline constexpr int32_t kIgnoredMasterLevel = -1280;
