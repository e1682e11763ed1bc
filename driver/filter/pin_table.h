#pragma once
// The pins created on the audio device and not yet claimed as the capture or
// the render pin, in creation order. Eight at most: a ninth creation while
// all eight are unclaimed empties the table first.
#include <stdint.h>

#include "filter/ks_layouts.h"
#include "kernel/io_request.h"

struct PinEntry {
  kernel::FileObject* fileObject;  // the pin's identity for every later request
  uint32_t processId;              // the creator, when the creation completed
  ks::WAVEFORMATEX format;         // without extra bytes
};

struct PinTable {
  static constexpr uint32_t kCapacity = 8;

  uint32_t count;
  PinEntry entries[kCapacity];

  void clear();
  void push(kernel::FileObject* fileObject, uint32_t processId, const ks::WAVEFORMATEX& format);
  // The first entry of `fileObject`, or none.
  const PinEntry* find(const kernel::FileObject* fileObject) const;
  // Removes the first entry of `fileObject`; later entries move down one place.
  void remove(const kernel::FileObject* fileObject);
};
