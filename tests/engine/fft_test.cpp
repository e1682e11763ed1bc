// The real FFT against a direct DFT in double, its scaling flags, the packed
// layout, and the creation and destruction contract.
#include "engine/fft.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "sim/kernel/sim_kernel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Tolerances. A radix-2 FFT in float has a norm-wise relative error of about
// c * log2(N) * eps (eps = FLT_EPSILON): each output passes log2 N butterfly
// levels, each adding one rounding of a product and of a sum, and every
// twiddle carries its own rounding of eps/2; the real-split and the scaling
// add two more levels. We allow 2 eps per level over log2 N + 2 levels, as
// ||X - X_ref|| / ||X_ref||. Single bins are held to that norm-wise bound.
double transformTolerance(int order) { return 2.0 * (order + 2) * FLT_EPSILON; }

struct Bin {
  double re;
  double im;
};

int64_t sizeOf(int order) { return int64_t{1} << order; }

std::vector<float> randomSignal(int64_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> sample(-32768.0f, 32767.0f);
  std::vector<float> x(static_cast<size_t>(n));
  for (float& v : x) v = sample(random);
  return x;
}

// Unscaled bin k of the forward DFT of x, in double. Angles are reduced with
// integer arithmetic so that the reference itself stays exact to double.
Bin directBin(const std::vector<float>& x, int64_t k) {
  const int64_t n = static_cast<int64_t>(x.size());
  Bin sum{0.0, 0.0};
  for (int64_t t = 0; t < n; ++t) {
    const double angle = -2.0 * kPi * static_cast<double>((k * t) % n) / static_cast<double>(n);
    sum.re += x[static_cast<size_t>(t)] * std::cos(angle);
    sum.im += x[static_cast<size_t>(t)] * std::sin(angle);
  }
  return sum;
}

// Unscaled inverse DFT of the Hermitian spectrum rebuilt from a packed one,
// reading only positions 0, 2 .. N - 1 and N.
std::vector<double> directInverse(const std::vector<float>& packed, int64_t n) {
  std::vector<double> x(static_cast<size_t>(n));
  const int64_t half = n / 2;
  for (int64_t t = 0; t < n; ++t) {
    double sum = packed[0];
    if (n >= 2) sum += (t % 2 == 0 ? 1.0 : -1.0) * packed[static_cast<size_t>(n)];
    for (int64_t k = 1; k < half; ++k) {
      const double angle = 2.0 * kPi * static_cast<double>((k * t) % n) / static_cast<double>(n);
      sum += 2.0 * (packed[static_cast<size_t>(2 * k)] * std::cos(angle) -
                    packed[static_cast<size_t>(2 * k + 1)] * std::sin(angle));
    }
    x[static_cast<size_t>(t)] = sum;
  }
  return x;
}

// Creates in the constructor, destroys in the destructor.
struct Transform {
  FftSetup* setup = nullptr;
  Transform(int order, int flag) { EXPECT_EQ(fftCreate(&setup, order, flag, 0), kPrimitiveDone); }
  ~Transform() {
    if (setup != nullptr) {
      EXPECT_EQ(fftDestroy(setup), kPrimitiveDone);
    }
  }
  Transform(const Transform&) = delete;
  Transform& operator=(const Transform&) = delete;
};

struct FlagScale {
  int flag;
  bool forwardScaled;
  bool inverseScaled;
  bool bySqrtN;  // else by N
};
constexpr FlagScale kFlags[] = {
    {kFftScaleForwardByN, true, false, false},
    {kFftScaleInverseByN, false, true, false},
    {kFftScaleBothBySqrtN, true, true, true},
    {kFftNoScale, false, false, false},
};

double factorOf(const FlagScale& f, bool forward, int64_t n) {
  if (forward ? !f.forwardScaled : !f.inverseScaled) return 1.0;
  return f.bySqrtN ? 1.0 / std::sqrt(static_cast<double>(n)) : 1.0 / static_cast<double>(n);
}

TEST(Fft, ForwardMatchesDirectDftForEveryFlag) {
  for (int order : {0, 1, 2, 3, 4, 5, 6, 7, 9, 12}) {
    const int64_t n = sizeOf(order);
    const auto x = randomSignal(n, 100u + static_cast<uint32_t>(order));
    std::vector<Bin> reference;
    for (int64_t k = 0; k <= n / 2; ++k) reference.push_back(directBin(x, k));
    for (const FlagScale& f : kFlags) {
      SCOPED_TRACE(testing::Message() << "order " << order << ", flag " << f.flag);
      Transform fft(order, f.flag);
      ASSERT_NE(fft.setup, nullptr);
      std::vector<float> X(static_cast<size_t>(n + 2), 12345.0f);
      ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
      const double s = factorOf(f, true, n);
      double error = 0.0;
      double norm = 0.0;
      for (int64_t k = 0; k <= n / 2; ++k) {
        const Bin r = {s * reference[static_cast<size_t>(k)].re, s * reference[static_cast<size_t>(k)].im};
        const double dre = X[static_cast<size_t>(2 * k)] - r.re;
        const double dim = X[static_cast<size_t>(2 * k + 1)] - r.im;
        error += dre * dre + dim * dim;
        norm += r.re * r.re + r.im * r.im;
      }
      EXPECT_LE(std::sqrt(error / norm), transformTolerance(order));
      EXPECT_EQ(X[1], 0.0f) << "Im X0";
      EXPECT_EQ(X[static_cast<size_t>(n + 1)], 0.0f) << "Im X(N/2)";
    }
  }
}

TEST(Fft, InverseMatchesDirectDftAndIgnoresImaginaryPartsOfBinsZeroAndHalf) {
  for (int order : {0, 1, 2, 3, 4, 5, 6, 7, 9, 12}) {
    const int64_t n = sizeOf(order);
    auto packed = randomSignal(n + 2, 200u + static_cast<uint32_t>(order));
    // Large values where the transform must not look.
    packed[1] = 1.0e6f;
    packed[static_cast<size_t>(n + 1)] = -1.0e6f;
    const auto reference = directInverse(packed, n);
    for (const FlagScale& f : kFlags) {
      SCOPED_TRACE(testing::Message() << "order " << order << ", flag " << f.flag);
      Transform fft(order, f.flag);
      ASSERT_NE(fft.setup, nullptr);
      std::vector<float> x(static_cast<size_t>(n), 12345.0f);
      ASSERT_EQ(fftInverse(packed.data(), x.data(), fft.setup, nullptr), kPrimitiveDone);
      const double s = factorOf(f, false, n);
      double error = 0.0;
      double norm = 0.0;
      for (int64_t t = 0; t < n; ++t) {
        const double r = s * reference[static_cast<size_t>(t)];
        error += (x[static_cast<size_t>(t)] - r) * (x[static_cast<size_t>(t)] - r);
        norm += r * r;
      }
      EXPECT_LE(std::sqrt(error / norm), transformTolerance(order));
    }
  }
}

// Large sizes, where a direct DFT of every bin costs too much: selected bins
// against direct sums, and the round trip.
TEST(Fft, LargeOrdersMatchDirectBins) {
  for (int order : {13, 14, 15, 16}) {
    SCOPED_TRACE(testing::Message() << "order " << order);
    const int64_t n = sizeOf(order);
    const auto x = randomSignal(n, 300u + static_cast<uint32_t>(order));
    Transform fft(order, kFftNoScale);
    ASSERT_NE(fft.setup, nullptr);
    std::vector<float> X(static_cast<size_t>(n + 2));
    ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
    // ||X|| = sqrt(N) ||x|| for the unscaled transform.
    double energy = 0.0;
    for (float v : x) energy += static_cast<double>(v) * v;
    const double allowed = transformTolerance(order) * std::sqrt(static_cast<double>(n) * energy);
    for (int64_t k : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{3}, int64_t{5}, n / 8 + 3, n / 4 - 1, n / 4,
                      n / 4 + 1, n / 3, n / 2 - 1, n / 2}) {
      const Bin r = directBin(x, k);
      EXPECT_NEAR(X[static_cast<size_t>(2 * k)], r.re, allowed) << "Re X" << k;
      EXPECT_NEAR(X[static_cast<size_t>(2 * k + 1)], r.im, allowed) << "Im X" << k;
    }
  }
}

// With flag 4 the transform is unitary: the inverse returns the input and the
// packed spectrum holds the signal's energy. Neither direction allocates.
TEST(Fft, UnitaryRoundTripAndParseval) {
  for (int order = 0; order <= 16; ++order) {
    SCOPED_TRACE(testing::Message() << "order " << order);
    const int64_t n = sizeOf(order);
    const auto x = randomSignal(n, 400u + static_cast<uint32_t>(order));
    Transform fft(order, kFftScaleBothBySqrtN);
    ASSERT_NE(fft.setup, nullptr);
    std::vector<float> X(static_cast<size_t>(n + 2));
    std::vector<float> y(static_cast<size_t>(n));
    const int64_t allocationsBefore = sim::poolCounters().totalAllocations;
    ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
    ASSERT_EQ(fftInverse(X.data(), y.data(), fft.setup, nullptr), kPrimitiveDone);
    EXPECT_EQ(sim::poolCounters().totalAllocations, allocationsBefore) << "a transform allocated";

    double signalEnergy = 0.0;
    double error = 0.0;
    for (int64_t t = 0; t < n; ++t) {
      const double d = static_cast<double>(y[static_cast<size_t>(t)]) - x[static_cast<size_t>(t)];
      signalEnergy += static_cast<double>(x[static_cast<size_t>(t)]) * x[static_cast<size_t>(t)];
      error += d * d;
    }
    EXPECT_LE(std::sqrt(error / signalEnergy), 2.0 * transformTolerance(order)) << "round trip";

    if (n >= 2) {
      // sum x^2 = X0^2 + X(N/2)^2 + 2 sum_{k=1}^{N/2-1} |Xk|^2. The norm-wise
      // error e of X gives at most 2e + e^2 relative error in the energy; the
      // rounding of 1/sqrt(N) to float adds eps.
      double spectrumEnergy = static_cast<double>(X[0]) * X[0] +
                              static_cast<double>(X[static_cast<size_t>(n)]) * X[static_cast<size_t>(n)];
      for (int64_t k = 1; k < n / 2; ++k) {
        const double re = X[static_cast<size_t>(2 * k)];
        const double im = X[static_cast<size_t>(2 * k + 1)];
        spectrumEnergy += 2.0 * (re * re + im * im);
      }
      const double e = transformTolerance(order);
      EXPECT_NEAR(spectrumEnergy / signalEnergy, 1.0, 2.0 * e + e * e + FLT_EPSILON) << "Parseval";
    }
  }
}

// The engine's one size: 512 points, flag 4.
constexpr int kEngineOrder = 9;
constexpr int64_t kEngineSize = 512;

TEST(Fft, ImpulseGivesFlatSpectrumAt512) {
  Transform fft(kEngineOrder, kFftScaleBothBySqrtN);
  ASSERT_NE(fft.setup, nullptr);
  std::vector<float> x(kEngineSize, 0.0f);
  x[0] = 1.0f;
  std::vector<float> X(kEngineSize + 2, 999.0f);
  ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
  const float expected = static_cast<float>(1.0 / std::sqrt(512.0));
  for (int64_t k = 0; k <= kEngineSize / 2; ++k) {
    EXPECT_FLOAT_EQ(X[static_cast<size_t>(2 * k)], expected) << "Re X" << k;
    EXPECT_EQ(X[static_cast<size_t>(2 * k + 1)], 0.0f) << "Im X" << k;
  }
}

TEST(Fft, CosineOfBinFourGivesOneBinAt512) {
  Transform fft(kEngineOrder, kFftScaleBothBySqrtN);
  ASSERT_NE(fft.setup, nullptr);
  std::vector<float> x(kEngineSize);
  for (int64_t t = 0; t < kEngineSize; ++t) x[static_cast<size_t>(t)] = static_cast<float>(std::cos(2.0 * kPi * 4.0 * static_cast<double>(t) / 512.0));
  std::vector<float> X(kEngineSize + 2);
  ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
  // ||X|| = ||x|| = 16; each sample carries eps/2 of its own rounding.
  const double allowed = (transformTolerance(kEngineOrder) + FLT_EPSILON) * 16.0;
  for (int64_t k = 0; k <= kEngineSize / 2; ++k) {
    const double expected = k == 4 ? 256.0 / std::sqrt(512.0) : 0.0;
    EXPECT_NEAR(X[static_cast<size_t>(2 * k)], expected, allowed) << "Re X" << k;
    EXPECT_NEAR(X[static_cast<size_t>(2 * k + 1)], 0.0, allowed) << "Im X" << k;
  }
}

TEST(Fft, InverseIgnoresPackedPositionsOneAndNPlusOne) {
  Transform fft(kEngineOrder, kFftScaleBothBySqrtN);
  ASSERT_NE(fft.setup, nullptr);
  auto packed = randomSignal(kEngineSize + 2, 7);
  packed[1] = 0.0f;
  packed[kEngineSize + 1] = 0.0f;
  std::vector<float> clean(kEngineSize);
  ASSERT_EQ(fftInverse(packed.data(), clean.data(), fft.setup, nullptr), kPrimitiveDone);
  packed[1] = 5.0e4f;
  packed[kEngineSize + 1] = -3.0e4f;
  std::vector<float> dirty(kEngineSize);
  ASSERT_EQ(fftInverse(packed.data(), dirty.data(), fft.setup, nullptr), kPrimitiveDone);
  EXPECT_EQ(dirty, clean);
}

// Before scaling, X1 = (x0 - x2) + i(x3 - x1) for 4 points, exactly.
TEST(Fft, FourPointIdentity) {
  struct Case {
    float x[4];
    float X[6];  // packed, unscaled
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, {10, 0, -2, 2, -2, 0}},
      {{1, 0, 0, 0}, {1, 0, 1, 0, 1, 0}},
      {{0, 1, 0, 0}, {1, 0, 0, -1, -1, 0}},
      {{0.5f, -3, 7.25f, 100}, {104.75f, 0, -6.75f, 103, -89.25f, 0}},
  };
  Transform fft(2, kFftNoScale);
  ASSERT_NE(fft.setup, nullptr);
  for (const Case& c : cases) {
    float X[6];
    ASSERT_EQ(fftForward(c.x, X, fft.setup, nullptr), kPrimitiveDone);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(X[i], c.X[i]) << "input " << c.x[0] << ' ' << c.x[1] << ' ' << c.x[2] << ' ' << c.x[3] << ", position " << i;
  }
}

// Transforms may run in place; the result is the same as out of place.
TEST(Fft, InPlaceEqualsOutOfPlace) {
  for (int order : {0, 3, 4, 9}) {
    SCOPED_TRACE(testing::Message() << "order " << order);
    const int64_t n = sizeOf(order);
    Transform fft(order, kFftScaleBothBySqrtN);
    ASSERT_NE(fft.setup, nullptr);
    auto x = randomSignal(n, 500u + static_cast<uint32_t>(order));
    std::vector<float> X(static_cast<size_t>(n + 2));
    ASSERT_EQ(fftForward(x.data(), X.data(), fft.setup, nullptr), kPrimitiveDone);
    std::vector<float> buffer(x);
    buffer.resize(static_cast<size_t>(n + 2));
    ASSERT_EQ(fftForward(buffer.data(), buffer.data(), fft.setup, nullptr), kPrimitiveDone);
    EXPECT_EQ(buffer, X) << "forward";
    std::vector<float> y(static_cast<size_t>(n));
    ASSERT_EQ(fftInverse(X.data(), y.data(), fft.setup, nullptr), kPrimitiveDone);
    ASSERT_EQ(fftInverse(buffer.data(), buffer.data(), fft.setup, nullptr), kPrimitiveDone);
    buffer.resize(static_cast<size_t>(n));
    EXPECT_EQ(buffer, y) << "inverse";
  }
}

TEST(Fft, CreateStoresTheFlagsScaling) {
  struct Case {
    int flag;
    int32_t scaleForward;
    int32_t scaleInverse;
    float scale;  // at N = 512, where the flag scales at all
  };
  const Case cases[] = {
      {kFftScaleForwardByN, 1, 0, 1.0f / 512.0f},
      {kFftScaleInverseByN, 0, 1, 1.0f / 512.0f},
      {kFftScaleBothBySqrtN, 1, 1, static_cast<float>(1.0 / std::sqrt(512.0))},
      {kFftNoScale, 0, 0, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag);
    FftSetup* setup = nullptr;
    ASSERT_EQ(fftCreate(&setup, kEngineOrder, c.flag, 3), kPrimitiveDone);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->id, kFftSetupId);
    EXPECT_EQ(setup->order, kEngineOrder);
    EXPECT_EQ(setup->hint, 3);
    EXPECT_EQ(setup->workSize, 0);
    EXPECT_EQ(setup->ownsMemory, 1);
    EXPECT_EQ(setup->scaleForward, c.scaleForward);
    EXPECT_EQ(setup->scaleInverse, c.scaleInverse);
    if (c.scaleForward || c.scaleInverse) {
      EXPECT_FLOAT_EQ(setup->scale, c.scale);
    }
    EXPECT_EQ(fftDestroy(setup), kPrimitiveDone);
  }
}

TEST(Fft, CreateRefusesBadArgumentsAndAllocatesNothing) {
  struct Case {
    bool nullOut;
    int order;
    int flag;
    PrimitiveStatus expected;
  };
  const Case cases[] = {
      {true, 9, kFftScaleBothBySqrtN, kPrimitiveNullPointer},
      {true, 31, 3, kPrimitiveNullPointer},
      {false, -1, kFftScaleBothBySqrtN, kPrimitiveBadOrder},
      {false, 31, kFftScaleBothBySqrtN, kPrimitiveBadOrder},
      {false, 31, 3, kPrimitiveBadOrder},
      {false, 9, 3, kPrimitiveBadFlag},
      {false, 9, 0, kPrimitiveBadFlag},
      {false, 9, 16, kPrimitiveBadFlag},
      {false, 2, -4, kPrimitiveBadFlag},
      {false, 30, 5, kPrimitiveBadFlag},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "null out " << c.nullOut << ", order " << c.order << ", flag " << c.flag);
    const sim::PoolCounters before = sim::poolCounters();
    FftSetup* setup = reinterpret_cast<FftSetup*>(uintptr_t{0xdeadbeef});
    EXPECT_EQ(fftCreate(c.nullOut ? nullptr : &setup, c.order, c.flag, 0), c.expected);
    if (!c.nullOut) {
      EXPECT_EQ(setup, nullptr);
    }
    EXPECT_EQ(sim::poolCounters().liveBlocks, before.liveBlocks);
    EXPECT_EQ(sim::poolCounters().liveBytes, before.liveBytes);
  }
}

// Every allocation of a creation refused in turn: -9, no setup, and the pool
// as it was. Order 30 is accepted; its tables are refused before they exist.
TEST(Fft, CreateUnderAllocationFailureReleasesEverything) {
  struct Case {
    int order;
    int64_t allocations;  // of a successful creation; -1: measure
  };
  for (const Case c : {Case{0, -1}, Case{3, -1}, Case{4, -1}, Case{9, -1}, Case{16, -1}, Case{30, 2}}) {
    int64_t steps = c.allocations;
    if (steps < 0) {
      const int64_t before = sim::poolCounters().totalAllocations;
      Transform fft(c.order, kFftScaleBothBySqrtN);
      steps = sim::poolCounters().totalAllocations - before;
      ASSERT_GE(steps, 1);
    }
    for (int64_t step = 1; step <= steps; ++step) {
      SCOPED_TRACE(testing::Message() << "order " << c.order << ", refused allocation " << step << " of " << steps);
      const sim::PoolCounters before = sim::poolCounters();
      FftSetup* setup = reinterpret_cast<FftSetup*>(uintptr_t{0xdeadbeef});
      sim::failAllocation(step);
      EXPECT_EQ(fftCreate(&setup, c.order, kFftScaleBothBySqrtN, 0), kPrimitiveNoMemory);
      sim::failAllocation(0);
      EXPECT_EQ(setup, nullptr);
      EXPECT_EQ(sim::poolCounters().liveBlocks, before.liveBlocks);
      EXPECT_EQ(sim::poolCounters().liveBytes, before.liveBytes);
    }
  }
}

TEST(Fft, WrongSetupIdIsRefusedAndNothingIsReleasedOrWritten) {
  const sim::PoolCounters empty = sim::poolCounters();
  FftSetup* setup = nullptr;
  ASSERT_EQ(fftCreate(&setup, kEngineOrder, kFftScaleBothBySqrtN, 0), kPrimitiveDone);
  const sim::PoolCounters created = sim::poolCounters();
  setup->id = kFftSetupId - 1;

  std::vector<float> x(kEngineSize + 2, 1.0f);
  std::vector<float> out(kEngineSize + 2, -7.0f);
  EXPECT_EQ(fftForward(x.data(), out.data(), setup, nullptr), kPrimitiveBadSetup);
  EXPECT_EQ(fftInverse(x.data(), out.data(), setup, nullptr), kPrimitiveBadSetup);
  EXPECT_EQ(out, std::vector<float>(kEngineSize + 2, -7.0f)) << "a refused transform wrote";
  EXPECT_EQ(fftDestroy(setup), kPrimitiveBadSetup);
  EXPECT_EQ(sim::poolCounters().liveBlocks, created.liveBlocks) << "a refused destroy released";

  setup->id = kFftSetupId;
  EXPECT_EQ(fftDestroy(setup), kPrimitiveDone);
  EXPECT_EQ(sim::poolCounters().liveBlocks, empty.liveBlocks);
  EXPECT_EQ(sim::poolCounters().liveBytes, empty.liveBytes);
}

TEST(Fft, NullArgumentsAreRefused) {
  Transform fft(kEngineOrder, kFftScaleBothBySqrtN);
  ASSERT_NE(fft.setup, nullptr);
  std::vector<float> a(kEngineSize + 2, 1.0f);
  std::vector<float> b(kEngineSize + 2, -7.0f);
  EXPECT_EQ(fftForward(nullptr, b.data(), fft.setup, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftForward(a.data(), nullptr, fft.setup, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftForward(a.data(), b.data(), nullptr, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftInverse(nullptr, b.data(), fft.setup, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftInverse(a.data(), nullptr, fft.setup, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftInverse(a.data(), b.data(), nullptr, nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(fftDestroy(nullptr), kPrimitiveNullPointer);
  EXPECT_EQ(b, std::vector<float>(kEngineSize + 2, -7.0f));
}

}  // namespace
