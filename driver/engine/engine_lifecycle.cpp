// Building, changing and tearing down the engine, and its statistics.
#include "dsp/block_resampler.h"
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"
#include "kernel/kernel_math.h"
#include "kernel/pool.h"

namespace {

struct RatePair {
  int32_t captureRate;
  int32_t workingRate;
};

// The only capture rates the engine runs at, Hz. High rates are brought down
// to a working rate that keeps the frames of 512 samples near 64 ms or 23 ms.
constexpr RatePair kWorkingRates[] = {
    {8000, 8000},   {11025, 11025}, {16000, 16000}, {22050, 22050},
    {32000, 8000},  {44100, 22050}, {48000, 8000},
};

}  // namespace

int32_t workingRateFor(int32_t captureRate) {
  for (const RatePair& pair : kWorkingRates) {
    if (pair.captureRate == captureRate) return pair.workingRate;
  }
  return 0;
}

bool renderRateAccepted(int32_t renderRate, int32_t workingRate) {
  return renderRate > 0 && renderRate <= kMaxRenderRate && workingRate > 0 && renderRate % workingRate == 0;
}

void EngineState::initialize() { *this = EngineState{}; }

bool EngineState::configure(int32_t channelCount, int32_t mode, int32_t capRate, int32_t renRate,
                            int32_t sampleCount, bool cancellerOn, bool noiseSuppressorOn, bool arrayOn) {
  releaseAll();
  micMeanSquare = referenceMeanSquare = outputMeanSquare = 0.0f;
  micCount = referenceCount = outputCount = 0;

  if (channelCount != 1 && channelCount != 2) {
    channelMode = kChannelModeFirstOnly;
    return false;
  }
  channels = channelCount;
  if (arrayOn) {
    if (channelCount != 2 || mode != kChannelModeBoth) {
      channelMode = kChannelModeFirstOnly;
      return false;
    }
    noiseSuppressorOn = false;
  } else if (mode == kChannelModeBoth && channelCount == 1) {
    mode = kChannelModeFirstOnly;
  }
  channelMode = mode;

  int32_t working = workingRateFor(capRate);
  if (working == 0) return false;
  captureRate = capRate;
  workingRate = working;
  if (cancellerOn) {
    if (!renderRateAccepted(renRate, workingRate)) return false;
    renderRate = renRate;
  }
  // A buffer may hold at most one second at the working rate, all channels counted.
  if (sampleCount <= 0 || workingRate < sampleCount) return false;

  captureFrames = sampleCount / channels;
  workingBlockLength = static_cast<int32_t>(int64_t{workingRate} * captureFrames / captureRate);
  workingCapacity = 2 * workingBlockLength;

  captureBuffer1 = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(captureFrames));
  if (captureBuffer1 == nullptr) return false;
  if (channels == 2 && channelMode == kChannelModeBoth) {
    captureBuffer2 = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(captureFrames));
    if (captureBuffer2 == nullptr) {
      releaseAll();
      return false;
    }
  }
  if (cancellerOn) {
    bool built = createCancellers(noiseSuppressorOn);
    if (built && workingRate != renderRate) built = createReferenceResampler();
    if (!built) {
      releaseAll();
      return false;
    }
  }

  if (workingRate != captureRate) {
    bool built = buildCaptureConversion(workBuffer1, downResampler1, upResampler1);
    if (built && channelMode == kChannelModeBoth) {
      built = buildCaptureConversion(workBuffer2, downResampler2, upResampler2);
    }
    if (!built) {
      releaseAll();
      return false;
    }
  }

  if (arrayOn) {
    // The array processing is not present: no engine is built while it is on.
    releaseAll();
    return false;
  }
  return true;
}

bool EngineState::enableCanceller(bool noiseSuppressorOn, int32_t renRate) {
  if (canceller1 != nullptr) return true;
  if (!renderRateAccepted(renRate, workingRate)) return false;
  renderRate = renRate;
  if (!createCancellers(noiseSuppressorOn)) return false;
  if (workingRate != renderRate) return createReferenceResampler();
  // The reference now arrives at the working rate: a resampler left from an
  // earlier render rate would convert it at the wrong ratio.
  releaseReferenceResampler();
  return true;
}

void EngineState::disableCanceller() {
  if (canceller1 == nullptr) return;
  EchoCanceller::destroy(canceller1);
  EchoCanceller::destroy(canceller2);
}

bool EngineState::createCancellers(bool noiseSuppressorOn) {
  EchoCanceller::destroy(canceller1);
  EchoCanceller::destroy(canceller2);
  canceller1 = EchoCanceller::create(workingRate, noiseSuppressorOn);
  if (canceller1 == nullptr) return false;
  if (channels == 2 && channelMode == kChannelModeBoth) {
    // A failed second canceller leaves the first: channel 1 is still processed.
    canceller2 = EchoCanceller::create(workingRate, noiseSuppressorOn);
    if (canceller2 == nullptr) return false;
  }
  return true;
}

bool EngineState::createReferenceResampler() {
  releaseReferenceResampler();
  referenceBlockLength = static_cast<int32_t>(int64_t{renderRate} * workingBlockLength / workingRate);
  referenceResampler = BlockResampler::create(workingRate, renderRate, referenceBlockLength);
  if (referenceResampler == nullptr) return false;
  referenceBlock = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(referenceBlockLength));
  if (referenceBlock == nullptr) return false;
  referenceOut = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(workingBlockLength));
  return referenceOut != nullptr;
}

void EngineState::releaseReferenceResampler() {
  BlockResampler::destroy(referenceResampler);
  kernel::poolRelease(referenceBlock);
  kernel::poolRelease(referenceOut);
  referenceFill = 0;
}

bool EngineState::compensateGain(double oldLevelDb, double newLevelDb) {
  if (canceller1 == nullptr) return false;
  float factor = static_cast<float>(pow(10.0, (newLevelDb - oldLevelDb) / 20.0));
  canceller1->scaleEchoPath(factor);
  if (canceller2 != nullptr) canceller2->scaleEchoPath(factor);
  return true;
}

bool EngineState::buildCaptureConversion(int16_t*& workBuffer, BlockResampler*& down, BlockResampler*& up) {
  workBuffer = kernel::poolAllocateZeroed<int16_t>(static_cast<size_t>(workingCapacity));
  if (workBuffer == nullptr) return false;
  down = BlockResampler::create(workingRate, captureRate, captureFrames);
  if (down == nullptr) return false;
  up = BlockResampler::create(captureRate, workingRate, workingCapacity);
  return up != nullptr;
}

void EngineState::releaseAll() {
  disableCanceller();
  releaseReferenceResampler();
  kernel::poolRelease(captureBuffer1);
  kernel::poolRelease(captureBuffer2);
  BlockResampler::destroy(upResampler1);
  BlockResampler::destroy(downResampler1);
  BlockResampler::destroy(upResampler2);
  BlockResampler::destroy(downResampler2);
  kernel::poolRelease(workBuffer1);
  kernel::poolRelease(workBuffer2);
}

void EngineState::readStatistics(uint32_t& mic, uint32_t& reference, uint32_t& output) {
  // Capped at the largest unsigned 32-bit value: a mean square of 2^32 itself
  // would not fit the record's field.
  auto rounded = [](float meanSquare) -> uint32_t {
    double value = meanSquare;
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return 4294967295u;
    return static_cast<uint32_t>(value + 0.5);
  };
  mic = rounded(micMeanSquare);
  reference = rounded(referenceMeanSquare);
  output = rounded(outputMeanSquare);
  micMeanSquare = referenceMeanSquare = outputMeanSquare = 0.0f;
  micCount = referenceCount = outputCount = 0;
}

uint32_t EngineState::echoPathFigure(float scale) const {
  return canceller1 != nullptr ? canceller1->echoPathFigure(scale) : 0;
}
