#include "echo_metrics.h"

#include <algorithm>
#include <cmath>

namespace {

// Power of a uniform quantisation error of one step, per sample.
constexpr double kQuantisationPower = 1.0 / 12.0;

std::vector<double> blockEnergies(const Signal& signal, int64_t blockFrames) {
  std::vector<double> blocks(static_cast<size_t>(signal.frames() / blockFrames));
  for (size_t b = 0; b < blocks.size(); b++) {
    blocks[b] = energy(signal, {static_cast<int64_t>(b) * blockFrames, static_cast<int64_t>(b + 1) * blockFrames}, 0);
  }
  return blocks;
}

}  // namespace

double energy(const Signal& signal, FrameRange range, int64_t shift) {
  int64_t begin = std::clamp<int64_t>(range.begin + shift, 0, signal.frames());
  int64_t end = std::clamp<int64_t>(range.end + shift, 0, signal.frames());
  double sum = 0.0;
  for (int64_t i = begin * signal.channels; i < end * signal.channels; i++) {
    double s = signal.samples[static_cast<size_t>(i)];
    sum += s * s;
  }
  return sum;
}

std::optional<double> erleDb(const Signal& mic, const Signal& out, const std::vector<FrameRange>& ranges,
                             int64_t latency) {
  double micEnergy = 0.0;
  double outEnergy = 0.0;
  double samples = 0.0;
  for (const FrameRange& r : ranges) {
    micEnergy += energy(mic, r, 0);
    outEnergy += energy(out, r, latency);
    samples += static_cast<double>(std::max<int64_t>(0, r.end - r.begin) * mic.channels);
  }
  if (samples == 0.0 || micEnergy == 0.0) return std::nullopt;
  double floor = samples * kQuantisationPower;
  return 10.0 * std::log10((micEnergy + floor) / (outEnergy + floor));
}

int64_t estimateLatency(const Signal& mic, const Signal& out, int64_t maxLag) {
  int64_t blockFrames = std::max<int32_t>(1, mic.rate / 1000);
  std::vector<double> m = blockEnergies(mic, blockFrames);
  std::vector<double> o = blockEnergies(out, blockFrames);
  size_t n = std::min(m.size(), o.size());
  if (n == 0) return 0;
  auto centre = [n](std::vector<double>& v) {
    v.resize(n);
    double mean = 0.0;
    for (double x : v) mean += x;
    mean /= static_cast<double>(n);
    for (double& x : v) x -= mean;
  };
  centre(m);
  centre(o);
  int64_t maxBlocks = std::min<int64_t>(maxLag / blockFrames, static_cast<int64_t>(n) - 1);
  int64_t best = 0;
  double bestScore = -INFINITY;
  for (int64_t lag = 0; lag <= maxBlocks; lag++) {
    // Normalised by the overlap so that long lags are not favoured or penalised.
    double sum = 0.0;
    for (size_t i = 0; i + static_cast<size_t>(lag) < n; i++) sum += m[i] * o[i + static_cast<size_t>(lag)];
    double score = sum / static_cast<double>(static_cast<int64_t>(n) - lag);
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best * blockFrames;
}

std::vector<double> levelsDb(const Signal& signal, int64_t windowFrames) {
  std::vector<double> levels;
  if (windowFrames <= 0 || signal.channels == 0) return levels;
  for (int64_t begin = 0; begin < signal.frames(); begin += windowFrames) {
    int64_t end = std::min(signal.frames(), begin + windowFrames);
    double meanSquare = energy(signal, {begin, end}, 0) / static_cast<double>((end - begin) * signal.channels);
    double level = meanSquare > 0.0 ? 10.0 * std::log10(meanSquare / (32768.0 * 32768.0)) : kFloorDb;
    levels.push_back(std::max(kFloorDb, level));
  }
  return levels;
}
