#include "dsp/fft_block.h"

#include "dsp/fft_workspace.h"
#include "engine/vector_ops.h"
#include "kernel/pool.h"

namespace {

// The number of times n can be halved before it reaches 1: floor(log2 n).
int32_t orderOf(int32_t n) {
  int32_t order = 0;
  while (n > 1) {
    n /= 2;
    order++;
  }
  return order;
}

}  // namespace

FftBlock* FftBlock::create(int32_t frameLength, int32_t windowLength, int32_t sampleRate, int32_t windowed) {
  if (frameLength < 1) return nullptr;
  const int32_t order = orderOf(frameLength);
  const int32_t n = static_cast<int32_t>(1) << order;
  if (windowLength < 0 || windowLength > n) return nullptr;

  FftBlock* block = kernel::poolAllocateZeroed<FftBlock>();
  if (block == nullptr) return nullptr;
  block->length = n;
  block->half = n / 2;
  block->windowLength = windowLength;
  block->sampleRate = sampleRate;
  block->binWidth = static_cast<float>(sampleRate) / static_cast<float>(n);

  // A block without its setup would transform nothing: refuse it.
  if (fftCreate(&block->fft, order, kFftScaleBothBySqrtN, 0) != kPrimitiveDone || block->fft == nullptr) {
    block->fft = nullptr;
    destroy(block);
    return nullptr;
  }
  block->window = kernel::poolAllocateZeroed<float>(static_cast<size_t>(n));
  if (block->window == nullptr) {
    destroy(block);
    return nullptr;
  }
  if (windowLength > 0) {
    setFloat(1.0f, block->window, windowLength);
    if (windowed == kHann) hannWindow(block->window, windowLength);
  }
  return block;
}

void FftBlock::destroy(FftBlock*& block) {
  if (block == nullptr) return;
  if (block->fft != nullptr) {
    fftDestroy(block->fft);
    block->fft = nullptr;
  }
  kernel::poolRelease(block->window);
  kernel::poolRelease(block);
}

float* FftBlock::forward(const float* in, FftWorkspace* ws) const {
  floatMultiply(in, window, ws->time, length);
  fftForward(ws->time, ws->spectrum, fft, nullptr);
  return ws->spectrum;
}

float* FftBlock::toPolar(FftWorkspace* ws) const {
  cartToPolar(reinterpret_cast<const ComplexFloat*>(ws->spectrum), ws->magnitude, ws->phase, half);
  return ws->magnitude;
}

float* FftBlock::fromPolar(FftWorkspace* ws) const {
  polarToCart(ws->magnitude, ws->phase, reinterpret_cast<ComplexFloat*>(ws->spectrum), half);
  return ws->spectrum;
}

float* FftBlock::inverse(FftWorkspace* ws) const {
  ws->spectrum[length] = 0.0f;
  ws->spectrum[length + 1] = 0.0f;
  fftInverse(ws->spectrum, ws->time, fft, nullptr);
  return ws->time;
}
