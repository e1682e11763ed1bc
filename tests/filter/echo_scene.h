#pragma once
// A synthetic echo scene for the end-to-end tests: a speech-like far-end
// signal and the loudspeaker-to-microphone path of a notebook.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// Noise under a syllable-rate envelope, with a fixed seed so every run hears the same.
class FarEndTalker {
 public:
  explicit FarEndTalker(int32_t rate) : rate_(rate) {}
  int16_t next() {
    seed_ = seed_ * 1664525u + 1013904223u;
    double white = static_cast<double>(seed_ >> 8) / (1u << 24) - 0.5;
    lowPassed_ += 0.3 * (white - lowPassed_);
    double t = static_cast<double>(n_++) / rate_;
    double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 3.0 * t) * std::sin(2 * M_PI * 0.4 * t);
    return static_cast<int16_t>(std::lround(30000.0 * envelope * lowPassed_));
  }

 private:
  int32_t rate_;
  uint32_t seed_ = 12345;
  double lowPassed_ = 0;
  int64_t n_ = 0;
};

// A delay of `delayMs` and 4 ms of decaying reflections.
class EchoPath {
 public:
  EchoPath(int32_t rate, double delayMs) : delay_(static_cast<size_t>(rate * delayMs / 1000)) {
    size_t taps = static_cast<size_t>(rate / 250);
    for (size_t k = 0; k < taps; k++) {
      response_.push_back(0.5 * std::exp(-6.0 * static_cast<double>(k) / static_cast<double>(taps)) *
                          (k % 3 == 0 ? 1.0 : -0.4));
    }
    history_.assign(delay_ + taps, 0.0);
  }
  // The microphone's sample for the next sample the loudspeakers play.
  int16_t echo(int16_t played) {
    history_[position_] = played;
    double sum = 0;
    size_t n = history_.size();
    for (size_t k = 0; k < response_.size(); k++) sum += response_[k] * history_[(position_ + n - delay_ - k) % n];
    position_ = (position_ + 1) % n;
    return static_cast<int16_t>(std::lround(sum));
  }

 private:
  size_t delay_;
  std::vector<double> response_;
  std::vector<double> history_;
  size_t position_ = 0;
};
