#include "filter/pin_table.h"

void PinTable::clear() {
  count = 0;
  __builtin_memset(entries, 0, sizeof entries);
}

void PinTable::push(kernel::FileObject* fileObject, uint32_t processId, const ks::WAVEFORMATEX& format) {
  if (count >= kCapacity) count = 0;
  entries[count] = PinEntry{fileObject, processId, format};
  count++;
}

const PinEntry* PinTable::find(const kernel::FileObject* fileObject) const {
  for (uint32_t i = 0; i < count; i++) {
    if (entries[i].fileObject == fileObject) return &entries[i];
  }
  return nullptr;
}

void PinTable::remove(const kernel::FileObject* fileObject) {
  for (uint32_t i = 0; i < count; i++) {
    if (entries[i].fileObject != fileObject) continue;
    for (uint32_t j = i; j + 1 < count; j++) entries[j] = entries[j + 1];
    count--;
    entries[count] = PinEntry{};
    return;
  }
}
