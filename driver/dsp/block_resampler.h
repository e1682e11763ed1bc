#pragma once
// Integer-ratio sample-rate conversion of one channel of 16-bit PCM, filtered
// in the frequency domain: 512-point frames, a Hann window, a hop of 256
// samples, a brick-wall low-pass made by clearing bins, and overlap-add.
// Upsampling inserts zeros before the filter, downsampling keeps every M-th
// sample after it. The filter delays by 256 samples at the rate it runs at
// (the higher of the two), and output is handed out in whole requested
// blocks only.
#include <stdint.h>

#include "dsp/block_framer.h"
#include "dsp/fft_block.h"
#include "dsp/fft_workspace.h"

// The frame of both stages and the constants of its low-pass: bins
// kc + 1 .. kLastClearedBin are cleared, kc = kCutoffBins / factor; bin
// kCutoffBins (Nyquist) is dropped by the inverse transform anyway.
struct ResamplerFrame {
  static constexpr int32_t kLength = 512;          // samples at the filtering rate
  static constexpr int32_t kCutoffBins = 256;
  static constexpr int32_t kLastClearedBin = 255;
  static constexpr int32_t kMinCapacity = 1024;    // samples, of ring and accumulator
  // Above this factor kc would be 0 and only the DC bin would pass.
  static constexpr int32_t kMaxFactor = kCutoffBins;
};

// Up by L = output rate / input rate; filters at the output rate.
struct UpStage {
  FftBlock* block;          // 512 points, Hann over all 512, sampleRate = output rate
  FftWorkspace* workspace;  // for that block
  BlockFramer* framer;      // 512, capacity max(output rate, 1024, 2 x L x maxInput)
  int32_t factor;           // L
  int16_t* stuffed;         // L x maxInput: input at every L-th place, zeros between

  static UpStage* create(int32_t outRate, int32_t factor, int32_t maxInput);
  static void destroy(UpStage*& stage);
  // inCount must not exceed the maxInput the stage was created for.
  int32_t process(int16_t* out, int32_t outCount, const int16_t* in, int32_t inCount);
};

// Down by M = input rate / output rate; filters at the input rate.
struct DownStage {
  FftBlock* block;          // 512 points, Hann over all 512, sampleRate = input rate
  FftWorkspace* workspace;  // for that block
  BlockFramer* framer;      // 512, capacity max(input rate, 1024, 2 x maxInput)
  int32_t factor;           // M

  static DownStage* create(int32_t inRate, int32_t factor, int32_t maxInput);
  static void destroy(DownStage*& stage);
  int32_t process(int16_t* out, int32_t outCount, const int16_t* in, int32_t inCount);
};

struct BlockResampler {
  int32_t maxInput;  // the most input samples one call accepts
  UpStage* up;       // present when outRate > inRate
  DownStage* down;   // present when outRate < inRate

  // A resampler from inRate to outRate (Hz) for calls of at most maxInput
  // samples, or none: for a zero or negative argument, equal rates, a larger
  // rate that is not a whole multiple of the smaller, a factor above
  // ResamplerFrame::kMaxFactor, buffers too large to index, or a failed
  // allocation (what was built is released).
  static BlockResampler* create(int32_t outRate, int32_t inRate, int32_t maxInput);
  // Releases the up stage, then the down stage, then the resampler; sets `r` to none.
  static void destroy(BlockResampler*& r);

  // Takes srcCount samples of src (src may be none, or srcCount 0, to ask only
  // for output already due) and writes exactly dstCapacity samples to dst when
  // that many are ready, else nothing (dst none: the input is taken, nothing
  // is written). Returns dstCapacity or 0. More than maxInput samples are
  // refused whole: 0, and the stage is left untouched.
  int32_t process(int16_t* dst, int32_t dstCapacity, const int16_t* src, int32_t srcCount);
};
