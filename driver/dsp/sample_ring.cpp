#include "dsp/sample_ring.h"

#include "engine/vector_ops.h"
#include "kernel/pool.h"

SampleRing* SampleRing::create(int32_t capacity) {
  if (capacity < 1 || capacity > kMaxCapacity) return nullptr;
  SampleRing* ring = kernel::poolAllocateZeroed<SampleRing>();
  if (ring == nullptr) return nullptr;
  ring->samples = kernel::poolAllocateZeroed<float>(2 * static_cast<size_t>(capacity));
  if (ring->samples == nullptr) {
    destroy(ring);
    return nullptr;
  }
  ring->capacity = capacity;
  return ring;
}

void SampleRing::destroy(SampleRing*& ring) {
  if (ring == nullptr) return;
  kernel::poolRelease(ring->samples);
  kernel::poolRelease(ring);
}

void SampleRing::push(float value) {
  samples[writeIndex + capacity] = value;
  samples[writeIndex] = value;
  writeIndex = writeIndex + 1 == capacity ? 0 : writeIndex + 1;
}

void SampleRing::writeInt16(const int16_t* src, int32_t n) {
  if (src == nullptr) return;
  // Runs up to the end of the distinct storage, each converted once and then
  // mirrored. A write of at most capacity samples takes at most two runs; a
  // longer one keeps going round, leaving the ring as that many pushes would
  // instead of running past the storage.
  while (n > 0) {
    int32_t run = capacity - writeIndex;
    if (run > n) run = n;
    float* first = &samples[writeIndex];
    int16ToFloat(src, first, run);
    floatCopy(first, first + capacity, run);
    writeIndex += run;
    if (writeIndex == capacity) writeIndex = 0;
    src += run;
    n -= run;
  }
}
