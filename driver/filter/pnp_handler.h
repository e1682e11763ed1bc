#pragma once
// Plug-and-play requests of a filter device. Each minor function maps, by a
// table, to a change of the device's plug-and-play state and one of four
// ways of handling the request.
#include <stdint.h>

#include "filter/device_extensions.h"
#include "kernel/io_request.h"

enum class PnpAction : uint8_t {
  PassDown,           // optionally set success, skip our location, call lower
  StartSynchronously, // wait for lower to start, then take the new state
  Remove,             // wait for the requests inside, pass down, detach, delete
  UsageNotification,  // follow the paging flag of the stack
};

inline constexpr int32_t kNoPnpState = -1;

struct PnpRow {
  uint8_t minor;
  PnpAction action;
  int32_t enterState;        // previous = current, current = this; kNoPnpState: no change
  int32_t restoreFromState;  // when current is this, current = previous; kNoPnpState: no change
  bool setsSuccess;          // the request's status becomes success before it passes down
};

// The row of `minor`; minor functions without a row of their own pass down
// with their status unchanged.
const PnpRow& pnpRowFor(uint8_t minor);

// The state change of `row` (a start's only after the lower device started).
void applyPnpTransition(const PnpRow& row, FilterExtension& device);

kernel::Status dispatchPnp(kernel::DeviceObject* device, kernel::Irp* irp);
