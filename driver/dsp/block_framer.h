#pragma once
// Cuts a stream of samples into frames of N with a hop of N/2 and reassembles
// processed frames into a continuous output by overlap-add.
#include <stdint.h>

#include "dsp/sample_ring.h"

struct BlockFramer {
  SampleRing* ring;     // the input line, capacity C
  int32_t frameLength;  // N, even
  int32_t capacity;     // C >= N, of both the ring and the output accumulator
  // The output accumulator, C floats: [0 .. outputFill) finished samples
  // nobody has consumed yet, then [outputFill .. outputFill + N/2) the tail
  // of the last frame, onto which the next frame's first half is added.
  float* accumulator;
  int32_t outputFill;

  // A framer with frames of N samples (even, 2 .. C) over a ring and an
  // accumulator of C samples, or none. A capacity below N is refused: its
  // frames would be read past the ring's doubled storage.
  static BlockFramer* create(int32_t frameLength, int32_t capacity);
  // Releases the ring, its samples and the accumulator; sets `framer` to none.
  static void destroy(BlockFramer*& framer);

  int32_t hop() const { return frameLength / 2; }

  // The ring's operations.
  void push(float value) { ring->push(value); }
  void writeInt16(const int16_t* src, int32_t n) { ring->writeInt16(src, n); }
  float* newest() const { return ring->newest(); }
  int32_t unread() const { return ring->unread(); }

  // The next N contiguous input samples, centred on the ring's readIndex, or
  // none while fewer than N/2 samples after it have been written. The first
  // frame is N/2 zeros followed by the first N/2 samples; every later frame
  // repeats the second half of its predecessor.
  const float* takeFrame();
  // Adds a processed frame of N samples: its first half onto the pending
  // tail, its second half becomes the new tail, N/2 more samples are finished.
  // A frame that does not fit (outputFill + N > C) is dropped unchanged.
  void overlapAdd(const float* frame);
  // The start of the accumulator when at least n finished samples are there,
  // else none.
  const float* output(int32_t n) const { return outputFill < n ? nullptr : accumulator; }
  // Drops the first n finished samples and moves the rest, with the pending
  // tail, to the front. n above outputFill, or below 1, changes nothing.
  void consume(int32_t n);
};
