// make-scenario: a notebook in a call, from two recorded voices at one rate.
//
//   make-scenario --far FAR.wav --near NEAR.wav --channels 1|2 --out PREFIX [--seed N]
//
// writes PREFIX-far.wav (the far-end voice as the loudspeakers play it) and
// PREFIX-mic.wav (its echo through a synthetic room, then the near-end voice
// on top: double talk, and a low noise floor), 16-bit at the voices' rate,
// and PREFIX.segments naming the far-end-only and double-talk stretches.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "room_response.h"
#include "wav_file.h"

namespace {

// The timeline, seconds.
constexpr double kFarStart = 0.3;         // the far end starts speaking
constexpr double kDoubleTalkStart = 4.0;  // the near end starts speaking over it
constexpr double kTail = 0.3;             // after the last voice ends
constexpr double kSegmentGuard = 0.05;    // the far-only stretch ends this much before the near voice

constexpr double kFullScale = 32767.0;
constexpr double kFarPeak = 0.5 * kFullScale;   // far-end voice peak, -6 dB full scale
constexpr double kEchoPeak = 0.45 * kFullScale;  // echo peak at the microphone, about -7 dB
constexpr double kNearPeak = 0.4 * kFullScale;   // near-end voice peak at the microphone, about -8 dB
constexpr double kNoiseRms = 6.0;               // microphone noise floor, about -75 dB full scale
constexpr double kLoudspeakerCutHz = 200.0;     // small loudspeakers play little below this

std::vector<double> mono(const PcmStream& stream) {
  Signal signal = toSignal(stream);
  std::vector<double> x(static_cast<size_t>(signal.frames()));
  for (size_t i = 0; i < x.size(); i++) x[i] = signal.samples[i * static_cast<size_t>(signal.channels)];
  return x;
}

void scaleToPeak(std::vector<double>& x, double peak) {
  double largest = 0.0;
  for (double v : x) largest = std::max(largest, std::fabs(v));
  if (largest > 0.0) {
    for (double& v : x) v *= peak / largest;
  }
}

// Second-order high-pass, two cascaded one-pole sections: y = a (y' + x - x').
std::vector<double> highPass(const std::vector<double>& x, double cutHz, int32_t rate) {
  double a = 1.0 / (1.0 + 2.0 * M_PI * cutHz / rate);
  std::vector<double> y = x;
  for (int pass = 0; pass < 2; pass++) {
    double previousIn = 0.0, previousOut = 0.0;
    for (double& v : y) {
      double out = a * (previousOut + v - previousIn);
      previousIn = v;
      previousOut = out;
      v = out;
    }
  }
  return y;
}

std::vector<double> placed(const std::vector<double>& voice, size_t at, size_t length) {
  std::vector<double> x(length, 0.0);
  for (size_t i = 0; i < voice.size() && at + i < length; i++) x[at + i] = voice[i];
  return x;
}

PcmStream toStream(const std::vector<std::vector<double>>& channels, int32_t rate) {
  std::vector<int32_t> fullScale;
  size_t frames = channels[0].size();
  for (size_t n = 0; n < frames; n++) {
    for (const std::vector<double>& c : channels) {
      double v = std::clamp(std::nearbyint(c[n]), -32768.0, 32767.0);
      fullScale.push_back(static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(v)) << 16));
    }
  }
  PcmStream stream{{rate, static_cast<int32_t>(channels.size()), 16}, encodeSamples(fullScale, 16)};
  return stream;
}

int usage(const std::string& why) {
  std::cerr << "make-scenario: " << why << "\n"
            << "usage: make-scenario --far FAR.wav --near NEAR.wav --channels 1|2 --out PREFIX [--seed N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string farPath, nearPath, prefix;
  int channels = 1;
  unsigned seed = 20261211;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i], value = argv[i + 1];
    if (name == "--far") farPath = value;
    else if (name == "--near") nearPath = value;
    else if (name == "--out") prefix = value;
    else if (name == "--channels") channels = std::stoi(value);
    else if (name == "--seed") seed = static_cast<unsigned>(std::stoul(value));
    else return usage("unknown option " + name);
  }
  if (farPath.empty() || nearPath.empty() || prefix.empty() || (channels != 1 && channels != 2)) {
    return usage("--far, --near, --out and --channels 1 or 2 are required");
  }
  WavReadResult farVoice = readWav(farPath);
  WavReadResult nearVoice = readWav(nearPath);
  for (const WavReadResult* r : {&farVoice, &nearVoice}) {
    if (!r->error.empty()) return usage(r->error);
  }
  int32_t rate = farVoice.stream.format.rate;
  if (nearVoice.stream.format.rate != rate) return usage("the two voices must have the same rate");

  std::vector<double> far = highPass(mono(farVoice.stream), kLoudspeakerCutHz, rate);
  std::vector<double> nearSpeech = mono(nearVoice.stream);
  scaleToPeak(far, kFarPeak);
  scaleToPeak(nearSpeech, kNearPeak);
  size_t farAt = static_cast<size_t>(kFarStart * rate);
  size_t nearAt = static_cast<size_t>(kDoubleTalkStart * rate);
  size_t length = std::max(farAt + far.size(), nearAt + nearSpeech.size()) + static_cast<size_t>(kTail * rate);
  std::vector<double> farTrack = placed(far, farAt, length);
  std::vector<double> nearTrack = placed(nearSpeech, nearAt, length);

  // Every channel of the microphone has its own echo path and its own short
  // path from the talker; the second microphone sits a few centimetres away.
  std::mt19937 random(seed);
  std::vector<std::vector<double>> echoes, voices;
  for (int c = 0; c < channels; c++) {
    RoomParameters room;
    room.directDelayMs += 0.15 * c;
    echoes.push_back(convolve(farTrack, roomResponse(room, rate, random)));
    RoomParameters talker;
    talker.deviceDelayMs = 0.0;
    talker.directDelayMs = 2.0 + 0.1 * c;
    talker.directGain = 1.0;
    talker.tailGain = 0.02;
    talker.lengthMs = 150.0;
    voices.push_back(convolve(nearTrack, roomResponse(talker, rate, random)));
  }
  // The echo of the first channel peaks at kEchoPeak; the others keep their
  // level relative to it.
  double echoLargest = 0.0;
  for (double v : echoes[0]) echoLargest = std::max(echoLargest, std::fabs(v));
  double echoScale = echoLargest > 0.0 ? kEchoPeak / echoLargest : 1.0;
  std::vector<std::vector<double>> mic(static_cast<size_t>(channels), std::vector<double>(length));
  for (size_t n = 0; n < length; n++) {
    for (size_t c = 0; c < mic.size(); c++) {
      // The noise floor: white, from the same fixed generator.
      double noise = kNoiseRms * std::sqrt(3.0) * uniform(random);
      mic[c][n] = echoScale * echoes[c][n] + voices[c][n] + noise;
    }
  }

  std::vector<std::vector<double>> farChannels(static_cast<size_t>(channels), farTrack);
  for (const auto& [suffix, stream] : {std::pair<std::string, PcmStream>{"-far.wav", toStream(farChannels, rate)},
                                       std::pair<std::string, PcmStream>{"-mic.wav", toStream(mic, rate)}}) {
    std::string error = writeWav(prefix + suffix, stream);
    if (!error.empty()) return usage(error);
  }
  double end = static_cast<double>(length) / rate;
  double nearEnd = std::min(end, kDoubleTalkStart + static_cast<double>(nearSpeech.size()) / rate);
  std::ofstream segments(prefix + ".segments");
  char text[256];
  std::snprintf(text, sizeof text,
                "# start end kind (seconds): far = far-end speech only, double = both talk\n"
                "%.2f %.2f far\n%.2f %.2f double\n",
                kFarStart, kDoubleTalkStart - kSegmentGuard, kDoubleTalkStart, nearEnd);
  segments << text;
  std::cout << prefix << ": " << end << " s at " << rate << " Hz, " << channels << " ch\n";
  return segments ? 0 : 1;
}
