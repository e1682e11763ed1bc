#pragma once
// The four scratch vectors of one chain of spectral processing over the
// frames of one FftBlock (N = the block's length, sizes in floats).
#include <stdint.h>

struct FftBlock;

struct FftWorkspace {
  float* time;       // N: the windowed frame before the forward transform,
                     // the frame after the inverse
  float* spectrum;   // N + 2: packed spectrum, bins 0 .. N/2 as (re, im)
  float* magnitude;  // N + 2: magnitudes of bins 0 .. N/2 - 1
  float* phase;      // N: phases of bins 0 .. N/2 - 1, radians

  // The four vectors for `block`, zeroed, or none (block none, or an
  // allocation failed).
  static FftWorkspace* create(const FftBlock* block);
  // Releases the four vectors and the workspace; sets `ws` to none.
  static void destroy(FftWorkspace*& ws);
};
