// The processing chain of one capture buffer: split the channels, convert to
// the working rate, cancel, convert back, merge into the caller's buffer.
#include "dsp/block_resampler.h"
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"

namespace {

// mean = (x^2 + count x mean) / (count + 1) over the n samples, x^2 in integers.
void accumulateMeanSquare(const int16_t* s, int32_t n, float& mean, int32_t& count) {
  for (int32_t i = 0; i < n; i++) {
    int32_t square = int32_t{s[i]} * s[i];
    mean = (static_cast<float>(square) + static_cast<float>(count) * mean) / static_cast<float>(count + 1);
    count++;
  }
}

}  // namespace

void EngineState::processBuffer(int16_t* samples, int32_t sampleCount) {
  ChannelStreams streams = splitChannels(samples, sampleCount);
  int32_t m = toWorkingRate(streams);
  if (streams.s1 != nullptr) accumulateMeanSquare(streams.s1, m, micMeanSquare, micCount);
  if (streams.s1 != nullptr && canceller1 != nullptr) canceller1->processBlock(streams.s1, m);
  if (streams.s2 != nullptr && canceller2 != nullptr) canceller2->processBlock(streams.s2, m);
  if (streams.s1 != nullptr) accumulateMeanSquare(streams.s1, m, outputMeanSquare, outputCount);
  int32_t k = toCaptureRate(m, streams);
  if (k == 0) return;  // nothing converted back yet: the buffer keeps what was captured
  mergeChannels(streams, k, sampleCount, samples);
}

ChannelStreams EngineState::splitChannels(const int16_t* samples, int32_t count) {
  ChannelStreams streams{0, nullptr, nullptr};
  if (channels == 1) {
    if (count > captureFrames || count <= 0) return streams;
    for (int32_t i = 0; i < count; i++) captureBuffer1[i] = samples[i];
    streams = {count, captureBuffer1, nullptr};
  } else if (channels == 2) {
    int32_t n = count / 2;
    if (n > captureFrames || n <= 0) return streams;
    for (int32_t i = 0; i < n; i++) captureBuffer1[i] = samples[2 * i];
    streams = {n, captureBuffer1, nullptr};
    if (channelMode == kChannelModeBoth) {
      for (int32_t i = 0; i < n; i++) captureBuffer2[i] = samples[2 * i + 1];
      streams.s2 = captureBuffer2;
    }
  }
  return streams;
}

namespace {

// One channel down to the working rate; a buffer whose frame count is not a
// whole number of working blocks leaves output behind, which a second call
// without input collects.
int32_t downConvert(BlockResampler* resampler, int16_t* work, int32_t blockLength, bool partialBlocks,
                    int16_t*& stream, int32_t frames) {
  if (resampler == nullptr || stream == nullptr) return 0;
  int32_t r = resampler->process(work, blockLength, stream, frames);
  if (partialBlocks) r += resampler->process(work + r, blockLength, nullptr, 0);
  if (r != 0) stream = work;
  return r;
}

int32_t upConvert(BlockResampler* resampler, int16_t* capture, int32_t frames, int16_t*& stream,
                  int32_t workingCount) {
  if (resampler == nullptr || stream == nullptr) return 0;
  int32_t r = resampler->process(capture, frames, stream, workingCount);
  stream = capture;
  return r;
}

}  // namespace

int32_t EngineState::toWorkingRate(ChannelStreams& streams) {
  if (captureRate == workingRate) return streams.frames;
  bool partialBlocks = workingBlockLength == 0 || captureFrames % workingBlockLength != 0;
  int32_t r1 = downConvert(downResampler1, workBuffer1, workingBlockLength, partialBlocks, streams.s1,
                           streams.frames);
  if (streams.s2 == nullptr) return r1;
  int32_t r2 = downConvert(downResampler2, workBuffer2, workingBlockLength, partialBlocks, streams.s2,
                           streams.frames);
  return r1 < r2 ? r1 : r2;
}

int32_t EngineState::toCaptureRate(int32_t workingCount, ChannelStreams& streams) {
  if (captureRate == workingRate) return streams.frames;
  int32_t r1 = upConvert(upResampler1, captureBuffer1, streams.frames, streams.s1, workingCount);
  if (streams.s2 == nullptr) return r1;
  int32_t r2 = upConvert(upResampler2, captureBuffer2, streams.frames, streams.s2, workingCount);
  return r1 < r2 ? r1 : r2;
}

int32_t EngineState::mergeChannels(const ChannelStreams& streams, int32_t frames, int32_t count,
                                   int16_t* samples) const {
  if (streams.s1 == nullptr || frames <= 0) return 0;
  if (streams.s2 == nullptr) {
    // Two channels take two values a frame: the bound is checked in values.
    if (frames * channels > count) return 0;
    if (channels == 1) {
      for (int32_t i = 0; i < frames; i++) samples[i] = streams.s1[i];
      return frames;
    }
    // The processed first channel replaces both channels.
    for (int32_t i = 0; i < frames; i++) samples[2 * i] = samples[2 * i + 1] = streams.s1[i];
    return 2 * frames;
  }
  if (2 * frames > count) return 0;
  for (int32_t i = 0; i < frames; i++) {
    samples[2 * i] = streams.s1[i];
    samples[2 * i + 1] = streams.s2[i];
  }
  return 2 * frames;
}
