#include "dsp/block_resampler.h"

#include "engine/vector_ops.h"
#include "kernel/pool.h"

namespace {

int64_t largest(int64_t a, int64_t b, int64_t c) {
  int64_t m = a > b ? a : b;
  return m > c ? m : c;
}

// The parts every stage has: the 512-point Hann block at the filtering rate,
// its workspace and a framer of `capacity` samples. False when any of them
// could not be built; what was built is left in the fields for the caller's
// destroy.
bool createFilter(FftBlock*& block, FftWorkspace*& workspace, BlockFramer*& framer, int32_t rate,
                  int64_t capacity) {
  if (capacity > SampleRing::kMaxCapacity) return false;
  block = FftBlock::create(ResamplerFrame::kLength, ResamplerFrame::kLength, rate, FftBlock::kHann);
  if (block == nullptr) return false;
  workspace = FftWorkspace::create(block);
  if (workspace == nullptr) return false;
  framer = BlockFramer::create(ResamplerFrame::kLength, static_cast<int32_t>(capacity));
  return framer != nullptr;
}

// Runs every frame the framer has through the low-pass that keeps bins
// 0 .. kCutoffBins / factor, and overlap-adds the results.
void filterFrames(const FftBlock* block, FftWorkspace* ws, BlockFramer* framer, int32_t factor) {
  const int32_t kc = ResamplerFrame::kCutoffBins / factor;
  const int32_t cleared = ResamplerFrame::kLastClearedBin - kc;
  while (const float* frame = framer->takeFrame()) {
    block->forward(frame, ws);
    float* magnitude = block->toPolar(ws);
    if (cleared > 0) setFloat(0.0f, &magnitude[kc + 1], cleared);
    block->fromPolar(ws);
    framer->overlapAdd(block->inverse(ws));
  }
}

// v rounded to the nearest integer, ties to even, saturated to int16. Exact
// whatever the floating-point unit's rounding mode: within the int16 range
// the truncation and the fraction v - t are both exact in float.
int16_t roundToInt16(float v) {
  if (v > 32767.0f) return 32767;
  if (v < -32768.0f) return -32768;
  if (!(v == v)) return 0;  // not a number
  int32_t t = static_cast<int32_t>(v);  // toward zero
  const float fraction = v - static_cast<float>(t);
  if (fraction > 0.5f || (fraction == 0.5f && (t & 1) != 0)) t++;
  if (fraction < -0.5f || (fraction == -0.5f && (t & 1) != 0)) t--;
  return static_cast<int16_t>(t);
}

}  // namespace

UpStage* UpStage::create(int32_t outRate, int32_t factor, int32_t maxInput) {
  if (outRate < 1 || factor < 2 || factor > ResamplerFrame::kMaxFactor || maxInput < 1) return nullptr;
  const int64_t stuffedCount = static_cast<int64_t>(factor) * maxInput;
  const int64_t capacity = largest(outRate, ResamplerFrame::kMinCapacity, 2 * stuffedCount);
  if (capacity > SampleRing::kMaxCapacity) return nullptr;
  UpStage* stage = kernel::poolAllocateZeroed<UpStage>();
  if (stage == nullptr) return nullptr;
  stage->factor = factor;
  if (createFilter(stage->block, stage->workspace, stage->framer, outRate, capacity)) {
    stage->stuffed = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(stuffedCount));
    if (stage->stuffed != nullptr) return stage;
  }
  destroy(stage);
  return nullptr;
}

void UpStage::destroy(UpStage*& stage) {
  if (stage == nullptr) return;
  FftBlock::destroy(stage->block);
  FftWorkspace::destroy(stage->workspace);
  BlockFramer::destroy(stage->framer);
  kernel::poolRelease(stage->stuffed);
  kernel::poolRelease(stage);
}

int32_t UpStage::process(int16_t* out, int32_t outCount, const int16_t* in, int32_t inCount) {
  if (block == nullptr || workspace == nullptr || framer == nullptr) return 0;
  if (in != nullptr && inCount > 0) {
    // Only every L-th place is ever written; the zeros between stay.
    for (int32_t i = 0; i < inCount; i++) stuffed[factor * i] = in[i];
    framer->writeInt16(stuffed, factor * inCount);
  }
  filterFrames(block, workspace, framer, factor);
  if (out == nullptr || outCount < 1) return 0;
  const float* ready = framer->output(outCount);
  if (ready == nullptr) return 0;
  // The stuffing left 1/L of the level: round to 16 bits, then multiply by L
  // (saturating), in that order.
  floatToInt16(ready, out, outCount, 1, 0);
  int16MultiplyConst(static_cast<int16_t>(factor), out, outCount, 0);
  framer->consume(outCount);
  return outCount;
}

DownStage* DownStage::create(int32_t inRate, int32_t factor, int32_t maxInput) {
  if (inRate < 1 || factor < 2 || factor > ResamplerFrame::kMaxFactor || maxInput < 1) return nullptr;
  const int64_t capacity = largest(inRate, ResamplerFrame::kMinCapacity, 2 * static_cast<int64_t>(maxInput));
  if (capacity > SampleRing::kMaxCapacity) return nullptr;
  DownStage* stage = kernel::poolAllocateZeroed<DownStage>();
  if (stage == nullptr) return nullptr;
  stage->factor = factor;
  if (createFilter(stage->block, stage->workspace, stage->framer, inRate, capacity)) return stage;
  destroy(stage);
  return nullptr;
}

void DownStage::destroy(DownStage*& stage) {
  if (stage == nullptr) return;
  FftBlock::destroy(stage->block);
  FftWorkspace::destroy(stage->workspace);
  BlockFramer::destroy(stage->framer);
  kernel::poolRelease(stage);
}

int32_t DownStage::process(int16_t* out, int32_t outCount, const int16_t* in, int32_t inCount) {
  if (block == nullptr || workspace == nullptr || framer == nullptr) return 0;
  if (in != nullptr && inCount > 0) framer->writeInt16(in, inCount);
  filterFrames(block, workspace, framer, factor);
  if (out == nullptr || outCount < 1) return 0;
  const int64_t needed = static_cast<int64_t>(factor) * outCount;
  if (needed > framer->outputFill) return 0;
  const float* ready = framer->output(static_cast<int32_t>(needed));
  for (int32_t i = 0; i < outCount; i++) out[i] = roundToInt16(ready[i * factor]);
  framer->consume(static_cast<int32_t>(needed));
  return outCount;
}

BlockResampler* BlockResampler::create(int32_t outRate, int32_t inRate, int32_t maxInput) {
  if (outRate < 1 || inRate < 1 || maxInput < 1 || outRate == inRate) return nullptr;
  const int32_t larger = outRate > inRate ? outRate : inRate;
  const int32_t smaller = outRate > inRate ? inRate : outRate;
  if (larger % smaller != 0) return nullptr;
  const int32_t factor = larger / smaller;
  BlockResampler* r = kernel::poolAllocateZeroed<BlockResampler>();
  if (r == nullptr) return nullptr;
  r->maxInput = maxInput;
  if (outRate > inRate) {
    r->up = UpStage::create(outRate, factor, maxInput);
  } else {
    r->down = DownStage::create(inRate, factor, maxInput);
  }
  if (r->up == nullptr && r->down == nullptr) destroy(r);
  return r;
}

void BlockResampler::destroy(BlockResampler*& r) {
  if (r == nullptr) return;
  UpStage::destroy(r->up);
  DownStage::destroy(r->down);
  kernel::poolRelease(r);
}

int32_t BlockResampler::process(int16_t* dst, int32_t dstCapacity, const int16_t* src, int32_t srcCount) {
  if (srcCount > maxInput) return 0;
  if (down != nullptr) return down->process(dst, dstCapacity, src, srcCount);
  if (up != nullptr) return up->process(dst, dstCapacity, src, srcCount);
  return 0;
}
