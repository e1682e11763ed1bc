#include "dsp/block_framer.h"

#include "engine/vector_ops.h"
#include "kernel/pool.h"

BlockFramer* BlockFramer::create(int32_t frameLength, int32_t capacity) {
  if (frameLength < 2 || frameLength % 2 != 0 || capacity < frameLength) return nullptr;
  if (capacity > SampleRing::kMaxCapacity) return nullptr;
  BlockFramer* framer = kernel::poolAllocateZeroed<BlockFramer>();
  if (framer == nullptr) return nullptr;
  framer->frameLength = frameLength;
  framer->capacity = capacity;
  framer->ring = SampleRing::create(capacity);
  if (framer->ring != nullptr) {
    framer->accumulator = kernel::poolAllocateZeroed<float>(static_cast<size_t>(capacity));
    if (framer->accumulator != nullptr) return framer;
  }
  destroy(framer);
  return nullptr;
}

void BlockFramer::destroy(BlockFramer*& framer) {
  if (framer == nullptr) return;
  SampleRing::destroy(framer->ring);
  kernel::poolRelease(framer->accumulator);
  kernel::poolRelease(framer);
}

const float* BlockFramer::takeFrame() {
  const int32_t h = hop();
  if (ring->unread() < h) return nullptr;
  int32_t start = ring->readIndex - h;
  if (start < 0) start += capacity;
  ring->readIndex += h;
  if (ring->readIndex >= capacity) ring->readIndex -= capacity;
  // start < C and N <= C, so the frame lies inside the doubled storage.
  return &ring->samples[start];
}

void BlockFramer::overlapAdd(const float* frame) {
  if (capacity - outputFill < frameLength) return;
  const int32_t h = hop();
  floatAddInPlace(frame, &accumulator[outputFill], h);
  floatCopy(frame + h, &accumulator[outputFill + h], h);
  outputFill += h;
}

void BlockFramer::consume(int32_t n) {
  if (n < 1 || n > outputFill) return;
  outputFill -= n;
  floatMove(&accumulator[n], accumulator, outputFill + hop());
}
