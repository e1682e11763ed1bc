// The reference path: mono render samples, one at a time in stream order,
// converted to the working rate in blocks and delivered to every canceller.
#include "dsp/block_resampler.h"
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"

void EngineState::feedReferenceSample(int16_t s) {
  if (referenceResampler == nullptr) {  // the render rate is the working rate
    deliverReferenceSample(s);
    return;
  }
  referenceBlock[referenceFill++] = s;
  if (referenceFill < referenceBlockLength) return;
  // The first block after creation gives nothing (the resampler's start-up);
  // its samples come out with the next one.
  int32_t n = referenceResampler->process(referenceOut, workingBlockLength, referenceBlock, referenceFill);
  for (int32_t i = 0; i < n; i++) deliverReferenceSample(referenceOut[i]);
  referenceFill = 0;
}

void EngineState::deliverReferenceSample(int16_t s) {
  if (canceller1 != nullptr) canceller1->addReferenceSample(s);
  if (canceller2 != nullptr) canceller2->addReferenceSample(s);
  // mean = (count x mean + s^2) / (count + 1), in double from the integer s^2.
  double square = int32_t{s} * s;
  referenceMeanSquare = static_cast<float>((referenceCount * double{referenceMeanSquare} + square) / (referenceCount + 1));
  referenceCount++;
}
