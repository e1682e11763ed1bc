// Real FFT through a half-size complex FFT.
//
// For N = 2^order >= 16 the N real samples are read as M = N/2 complex values
// z[m] = x[2m] + i x[2m+1]. An M-point radix-2 decimation-in-time FFT (input
// in bit-reversed order, precomputed twiddles per stage) gives Z, and the
// real-split step turns Z into the packed spectrum:
//   X[k] = E[k] + w^k O[k],  X[M-k] = conj(E[k] - w^k O[k]),  w = e^(-2 pi i / N)
//   E[k] = (Z[k] + conj Z[M-k]) / 2,  O[k] = (Z[k] - conj Z[M-k]) / 2i.
// The inverse runs the same steps backwards. Orders 0 .. 3 use fixed kernels
// and have no tables.
#include "engine/fft.h"

#include <stddef.h>

#include "kernel/kernel_math.h"
#include "kernel/pool.h"

namespace {

// Orders below this use the fixed kernels and allocate no tables.
constexpr int32_t kFftFirstTableOrder = 4;
constexpr double kPi = 3.14159265358979323846;
// cos(pi/4) = sin(pi/4), the only irrational twiddle of the 8-point kernel.
constexpr float kHalfSqrt2 = 0.70710678118654752f;

struct Cx {
  float re;
  float im;
};

inline Cx operator+(Cx a, Cx b) { return {a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return {a.re - b.re, a.im - b.im}; }
inline Cx operator*(Cx a, Cx b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Cx scaled(Cx a, float s) { return {a.re * s, a.im * s}; }
inline Cx conj(Cx a) { return {a.re, -a.im}; }

// Layout of the tables of a setup of order >= kFftFirstTableOrder, M = N/2:
//   bitReverseTable: M entries, rev[k] = k with its log2(M) bits reversed.
//   twiddleTables, as complex pairs:
//     [0, M - 4)        the stages of span L = 8, 16, .., M; for each span its
//                       L/2 roots e^(-2 pi i j / L), j = 0 .. L/2 - 1, in turn
//                       (spans 2 and 4 need none: their roots are 1 and -i)
//     [M - 4, 3M/2 - 3) the real-split roots w^k = e^(-2 pi i k / N), k = 0 .. M/2
size_t stageTwiddleCount(size_t m) { return m - 4; }
size_t splitTwiddleCount(size_t m) { return m / 2 + 1; }

// e^(-2 pi i j / L) for a power of two L >= 4, computed in double on the first
// octant and unfolded by symmetry, so that the quarter and eighth turns come
// out exactly and equal angles give equal values at every span.
Cx unitRoot(size_t j, size_t span) {
  const size_t quarter = span / 4;
  const size_t turns = (j / quarter) % 4;
  const size_t r = j % quarter;
  double c;
  double s;  // cos and sin of 2 pi r / span, an angle in [0, pi/2)
  if (2 * r <= quarter) {
    const double angle = 2.0 * kPi * static_cast<double>(r) / static_cast<double>(span);
    c = cos(angle);
    s = sin(angle);
  } else {
    const double angle = 2.0 * kPi * static_cast<double>(quarter - r) / static_cast<double>(span);
    c = sin(angle);
    s = cos(angle);
  }
  // Rotate by the whole quarter turns: (c, s) -> (-s, c) per turn.
  for (size_t t = 0; t < turns; ++t) {
    const double next = -s;
    s = c;
    c = next;
  }
  return {static_cast<float>(c), static_cast<float>(-s)};
}

// Frees what a setup owns and the setup itself.
void releaseSetup(FftSetup*& setup) {
  kernel::poolRelease(setup->bitReverseTable);
  kernel::poolRelease(setup->twiddleTables);
  kernel::poolRelease(setup);
}

// count values of T from the pool, uninitialised, or none on refusal or overflow.
template <typename T>
T* allocateTable(size_t count) {
  if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
  return static_cast<T*>(kernel::poolAllocate(count * sizeof(T)));
}

PrimitiveStatus buildTables(FftSetup* setup) {
  const size_t m = size_t{1} << (setup->order - 1);
  int32_t* rev = allocateTable<int32_t>(m);
  if (rev == nullptr) return kPrimitiveNoMemory;
  setup->bitReverseTable = rev;
  const size_t twiddleFloats = 2 * (stageTwiddleCount(m) + splitTwiddleCount(m));
  float* twiddles = allocateTable<float>(twiddleFloats);
  if (twiddles == nullptr) return kPrimitiveNoMemory;
  setup->twiddleTables = twiddles;

  const int32_t bits = setup->order - 1;
  for (size_t k = 0; k < m; ++k) {
    size_t reversed = 0;
    for (int32_t b = 0; b < bits; ++b) reversed |= ((k >> b) & 1u) << (bits - 1 - b);
    rev[k] = static_cast<int32_t>(reversed);
  }
  Cx* out = reinterpret_cast<Cx*>(twiddles);
  for (size_t span = 8; span <= m; span *= 2) {
    for (size_t j = 0; j < span / 2; ++j) *out++ = unitRoot(j, span);
  }
  const size_t n = 2 * m;
  for (size_t k = 0; k <= m / 2; ++k) *out++ = unitRoot(k, n);
  return kPrimitiveDone;
}

// Puts z into bit-reversed order in place.
void bitReverseInPlace(Cx* z, const int32_t* rev, size_t m) {
  for (size_t k = 0; k < m; ++k) {
    const size_t r = static_cast<size_t>(rev[k]);
    if (r > k) {
      const Cx t = z[k];
      z[k] = z[r];
      z[r] = t;
    }
  }
}

template <bool kInverse>
inline Cx twiddle(Cx root) {
  return kInverse ? conj(root) : root;
}

// In-place M-point complex FFT of z given in bit-reversed order, unscaled;
// sign -1 (forward) or +1 (inverse) in the exponent.
template <bool kInverse>
void complexPasses(Cx* z, size_t m, const Cx* stageTwiddles) {
  // Spans 2 and 4 together: their roots are 1 and -i (forward) or +i (inverse).
  for (size_t b = 0; b < m; b += 4) {
    const Cx s0 = z[b] + z[b + 1];
    const Cx d0 = z[b] - z[b + 1];
    const Cx s1 = z[b + 2] + z[b + 3];
    const Cx d1 = z[b + 2] - z[b + 3];
    const Cx t = kInverse ? Cx{-d1.im, d1.re} : Cx{d1.im, -d1.re};
    z[b] = s0 + s1;
    z[b + 2] = s0 - s1;
    z[b + 1] = d0 + t;
    z[b + 3] = d0 - t;
  }
  // The spans 8 .. M, with root j of span L = e^(-2 pi i j / L). (A radix-4
  // pass over two spans at a time measured slower: this simple loop is the
  // one the compiler vectorises.)
  const Cx* w = stageTwiddles;
  for (size_t span = 8; span <= m; span *= 2) {
    const size_t half = span / 2;
    for (size_t b = 0; b < m; b += span) {
      Cx* lo = z + b;
      Cx* hi = lo + half;
      for (size_t j = 0; j < half; ++j) {
        const Cx t = twiddle<kInverse>(w[j]) * hi[j];
        hi[j] = lo[j] - t;
        lo[j] = lo[j] + t;
      }
    }
    w += half;
  }
}

// Fixed kernels. forward4 gives the unscaled 4-point forward transform of real
// a0..a3: X0, X1 = (a0 - a2) + i(a3 - a1), X2.
struct Spectrum4 {
  float x0;
  Cx x1;
  float x2;
};
Spectrum4 forward4(float a0, float a1, float a2, float a3) {
  return {(a0 + a2) + (a1 + a3), {a0 - a2, a3 - a1}, (a0 + a2) - (a1 + a3)};
}
// Unscaled 4-point inverse of the Hermitian spectrum (X0, X1, conj X1 at 3, X2).
void inverse4(float x0, Cx x1, float x2, float* out, size_t stride) {
  const float even = x0 + x2;
  const float odd = x0 - x2;
  out[0] = even + 2.0f * x1.re;
  out[stride] = odd - 2.0f * x1.im;
  out[2 * stride] = even - 2.0f * x1.re;
  out[3 * stride] = odd + 2.0f * x1.im;
}

void forwardSmall(const float* x, float* dst, int32_t order, float s) {
  switch (order) {
    case 0:
      // One bin; positions 1 and 2 are the imaginary parts of bins 0 and N/2.
      dst[0] = s * x[0];
      dst[1] = 0.0f;
      dst[2] = 0.0f;
      return;
    case 1: {
      const float x0 = x[0] + x[1];
      const float x1 = x[0] - x[1];
      dst[0] = s * x0;
      dst[1] = 0.0f;
      dst[2] = s * x1;
      dst[3] = 0.0f;
      return;
    }
    case 2: {
      const Spectrum4 X = forward4(x[0], x[1], x[2], x[3]);
      dst[0] = s * X.x0;
      dst[1] = 0.0f;
      dst[2] = s * X.x1.re;
      dst[3] = s * X.x1.im;
      dst[4] = s * X.x2;
      dst[5] = 0.0f;
      return;
    }
    default: {
      // 8 points: E over the even samples, O over the odd ones, w = e^(-i pi/4).
      const Spectrum4 E = forward4(x[0], x[2], x[4], x[6]);
      const Spectrum4 O = forward4(x[1], x[3], x[5], x[7]);
      const Cx w = {kHalfSqrt2, -kHalfSqrt2};
      const Cx wO1 = w * O.x1;
      const Cx X1 = E.x1 + wO1;
      const Cx X3 = conj(E.x1 - wO1);
      dst[0] = s * (E.x0 + O.x0);
      dst[1] = 0.0f;
      dst[2] = s * X1.re;
      dst[3] = s * X1.im;
      dst[4] = s * E.x2;  // X2 = E2 - i O2
      dst[5] = s * -O.x2;
      dst[6] = s * X3.re;
      dst[7] = s * X3.im;
      dst[8] = s * (E.x0 - O.x0);
      dst[9] = 0.0f;
      return;
    }
  }
}

void inverseSmall(const float* X, float* x, int32_t order, float s) {
  switch (order) {
    case 0:
      x[0] = s * X[0];
      return;
    case 1: {
      const float x0 = X[0] + X[2];
      const float x1 = X[0] - X[2];
      x[0] = s * x0;
      x[1] = s * x1;
      return;
    }
    case 2: {
      float out[4];
      inverse4(X[0], {X[2], X[3]}, X[4], out, 1);
      for (int i = 0; i < 4; ++i) x[i] = s * out[i];
      return;
    }
    default: {
      // Even samples from E'k = Xk + X(k+4), odd ones from O'k = (Xk - X(k+4)) e^(+i pi k/4).
      const Cx X1 = {X[2], X[3]};
      const Cx X3 = {X[6], X[7]};
      const Cx w = {kHalfSqrt2, kHalfSqrt2};
      const float e0 = X[0] + X[8];
      const float o0 = X[0] - X[8];
      const Cx e1 = X1 + conj(X3);
      const Cx o1 = (X1 - conj(X3)) * w;
      const float e2 = 2.0f * X[4];
      const float o2 = -2.0f * X[5];
      float out[8];
      inverse4(e0, e1, e2, out, 2);
      inverse4(o0, o1, o2, out + 1, 2);
      for (int i = 0; i < 8; ++i) x[i] = s * out[i];
      return;
    }
  }
}

PrimitiveStatus checkTransform(const float* src, const float* dst, const FftSetup* setup) {
  if (src == nullptr || dst == nullptr || setup == nullptr) return kPrimitiveNullPointer;
  if (setup->id != kFftSetupId) return kPrimitiveBadSetup;
  return kPrimitiveDone;
}

}  // namespace

PrimitiveStatus fftCreate(FftSetup** out, int32_t order, int32_t flag, int32_t hint) {
  if (out == nullptr) return kPrimitiveNullPointer;
  *out = nullptr;
  if (order < 0 || order > kFftMaxOrder) return kPrimitiveBadOrder;
  FftSetup* setup = kernel::poolAllocateZeroed<FftSetup>();
  if (setup == nullptr) return kPrimitiveNoMemory;
  setup->id = kFftSetupId;
  setup->order = order;
  setup->hint = hint;
  setup->ownsMemory = 1;
  const double n = static_cast<double>(size_t{1} << order);
  switch (flag) {
    case kFftNoScale:
      break;
    case kFftScaleBothBySqrtN:
      setup->scaleForward = 1;
      setup->scaleInverse = 1;
      setup->scale = static_cast<float>(1.0 / sqrt(n));
      break;
    case kFftScaleForwardByN:
      setup->scaleForward = 1;
      setup->scale = static_cast<float>(1.0 / n);
      break;
    case kFftScaleInverseByN:
      setup->scaleInverse = 1;
      setup->scale = static_cast<float>(1.0 / n);
      break;
    default:
      kernel::poolRelease(setup);
      return kPrimitiveBadFlag;
  }
  setup->workSize = 0;
  if (order >= kFftFirstTableOrder) {
    const PrimitiveStatus built = buildTables(setup);
    if (built != kPrimitiveDone) {
      releaseSetup(setup);
      return built;
    }
  }
  *out = setup;
  return kPrimitiveDone;
}

PrimitiveStatus fftDestroy(FftSetup* setup) {
  if (setup == nullptr) return kPrimitiveNullPointer;
  if (setup->id != kFftSetupId) return kPrimitiveBadSetup;
  if (setup->ownsMemory == 1) releaseSetup(setup);
  return kPrimitiveDone;
}

PrimitiveStatus fftForward(const float* src, float* dst, const FftSetup* setup, void* /*scratch*/) {
  const PrimitiveStatus checked = checkTransform(src, dst, setup);
  if (checked != kPrimitiveDone) return checked;
  const float s = setup->scaleForward ? setup->scale : 1.0f;
  if (setup->order < kFftFirstTableOrder) {
    forwardSmall(src, dst, setup->order, s);
    return kPrimitiveDone;
  }
  const size_t m = size_t{1} << (setup->order - 1);
  const int32_t* rev = setup->bitReverseTable;
  Cx* Z = reinterpret_cast<Cx*>(dst);
  if (src == dst) {
    bitReverseInPlace(Z, rev, m);
  } else {
    const Cx* z = reinterpret_cast<const Cx*>(src);
    for (size_t k = 0; k < m; ++k) Z[k] = z[rev[k]];
  }
  const Cx* twiddles = reinterpret_cast<const Cx*>(setup->twiddleTables);
  complexPasses<false>(Z, m, twiddles);

  // Real split, pairs (k, M - k) in place; X0 and X(N/2) from Z0.
  const Cx* w = twiddles + stageTwiddleCount(m);
  const float h = 0.5f * s;
  const Cx z0 = Z[0];
  Z[0] = {s * (z0.re + z0.im), 0.0f};
  Z[m] = {s * (z0.re - z0.im), 0.0f};
  for (size_t k = 1; k <= m / 2; ++k) {
    const Cx a = Z[k];
    const Cx b = conj(Z[m - k]);
    const Cx E = scaled(a + b, h);
    const Cx d = a - b;
    const Cx O = {d.im * h, -d.re * h};  // (a - b) / 2i, scaled
    const Cx wO = w[k] * O;
    Z[k] = E + wO;
    Z[m - k] = conj(E - wO);
  }
  return kPrimitiveDone;
}

PrimitiveStatus fftInverse(const float* src, float* dst, const FftSetup* setup, void* /*scratch*/) {
  const PrimitiveStatus checked = checkTransform(src, dst, setup);
  if (checked != kPrimitiveDone) return checked;
  const float s = setup->scaleInverse ? setup->scale : 1.0f;
  if (setup->order < kFftFirstTableOrder) {
    inverseSmall(src, dst, setup->order, s);
    return kPrimitiveDone;
  }
  const size_t m = size_t{1} << (setup->order - 1);
  const int32_t* rev = setup->bitReverseTable;
  const Cx* X = reinterpret_cast<const Cx*>(src);
  Cx* Z = reinterpret_cast<Cx*>(dst);
  const Cx* twiddles = reinterpret_cast<const Cx*>(setup->twiddleTables);
  const Cx* w = twiddles + stageTwiddleCount(m);
  // With separate buffers the pre-split writes straight into bit-reversed order.
  const bool inPlace = src == dst;
  auto at = [&](size_t k) -> size_t { return inPlace ? k : static_cast<size_t>(rev[k]); };

  // Zk = (Xk + conj X(M-k)) + i conj(w^k) (Xk - conj X(M-k)); the imaginary
  // parts of X0 and X(N/2) (packed positions 1 and N + 1) are not read.
  const float r0 = src[0];
  const float rm = src[2 * m];
  for (size_t k = 1; k <= m / 2; ++k) {
    const Cx a = X[k];
    const Cx b = conj(X[m - k]);
    const Cx E = scaled(a + b, s);
    const Cx P = conj(w[k]) * scaled(a - b, s);
    Z[at(k)] = {E.re - P.im, E.im + P.re};
    Z[at(m - k)] = {E.re + P.im, P.re - E.im};
  }
  Z[0] = {s * (r0 + rm), s * (r0 - rm)};  // rev[0] = 0
  if (inPlace) bitReverseInPlace(Z, rev, m);
  complexPasses<true>(Z, m, twiddles);
  return kPrimitiveDone;
}
