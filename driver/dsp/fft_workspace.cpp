#include "dsp/fft_workspace.h"

#include "dsp/fft_block.h"
#include "kernel/pool.h"

FftWorkspace* FftWorkspace::create(const FftBlock* block) {
  if (block == nullptr || block->length < 1) return nullptr;
  const size_t n = static_cast<size_t>(block->length);
  FftWorkspace* ws = kernel::poolAllocateZeroed<FftWorkspace>();
  if (ws == nullptr) return nullptr;
  if ((ws->time = kernel::poolAllocateZeroed<float>(n)) != nullptr &&
      (ws->spectrum = kernel::poolAllocateZeroed<float>(n + 2)) != nullptr &&
      (ws->magnitude = kernel::poolAllocateZeroed<float>(n + 2)) != nullptr &&
      (ws->phase = kernel::poolAllocateZeroed<float>(n)) != nullptr) {
    return ws;
  }
  destroy(ws);
  return nullptr;
}

void FftWorkspace::destroy(FftWorkspace*& ws) {
  if (ws == nullptr) return;
  kernel::poolRelease(ws->time);
  kernel::poolRelease(ws->spectrum);
  kernel::poolRelease(ws->magnitude);
  kernel::poolRelease(ws->phase);
  kernel::poolRelease(ws);
}
