#pragma once
// A ring of float samples (16-bit PCM scale, full scale 32767) in which every
// sample is stored twice, at i and at i + capacity, so that any run of up to
// capacity consecutive samples can be read as one contiguous array in place.
#include <stdint.h>

struct SampleRing {
  // The largest capacity whose doubled storage is still indexed by int32.
  static constexpr int32_t kMaxCapacity = INT32_MAX / 2;

  float* samples;      // 2 x capacity floats; samples[i] == samples[i + capacity]
  int32_t capacity;    // number of distinct samples held
  int32_t writeIndex;  // 0 .. capacity - 1: where the next sample goes
  int32_t readIndex;   // 0 .. capacity - 1: centre of the next frame (framer only)

  // A zeroed ring of `capacity` samples (1 .. kMaxCapacity), or none.
  static SampleRing* create(int32_t capacity);
  // Releases the samples and the ring; sets `ring` to none. None is allowed.
  static void destroy(SampleRing*& ring);

  // Appends one sample.
  void push(float value);
  // Appends n 16-bit samples, converted exactly. Does not look at readIndex:
  // the owner sizes the capacity so that unread samples are not overtaken.
  // n <= 0 or src none appends nothing.
  void writeInt16(const int16_t* src, int32_t n);
  // The most recent sample; the capacity - 1 samples before it lie at offsets
  // -1 .. -(capacity - 1), contiguous.
  float* newest() const { return &samples[writeIndex + capacity - 1]; }
  // writeIndex - readIndex modulo capacity: a writer a whole capacity ahead
  // of the reader reads as empty.
  int32_t unread() const {
    int32_t count = writeIndex - readIndex;
    return count < 0 ? count + capacity : count;
  }
};
