// Vector primitives: the one place where the engine's float samples and the
// 16-bit samples of the streams meet. Every operation checks its pointers
// (-8) before its length (-6) and writes nothing on either error.
#include "engine/vector_ops.h"

#include <stddef.h>

#include "kernel/kernel_math.h"

namespace {

constexpr double kTwoPi = 6.28318530717958647692;
constexpr int32_t kInt16Max = 32767;
constexpr int32_t kInt16Min = -32768;
constexpr int32_t kHannMinLength = 3;
// Beyond this many doublings every non-zero float overflows a double and beyond
// this many halvings every float rounds to 0, so larger scales change nothing.
constexpr int32_t kFloatToInt16ScaleLimit = 1200;

// 0 when every pointer is given, else -8; then -6 when len is not positive.
PrimitiveStatus check(int32_t len, const void* p) {
  if (p == nullptr) return kPrimitiveNullPointer;
  return len > 0 ? kPrimitiveDone : kPrimitiveBadLength;
}
PrimitiveStatus check(int32_t len, const void* p, const void* q) {
  if (p == nullptr || q == nullptr) return kPrimitiveNullPointer;
  return len > 0 ? kPrimitiveDone : kPrimitiveBadLength;
}
PrimitiveStatus check(int32_t len, const void* p, const void* q, const void* r) {
  if (p == nullptr || q == nullptr || r == nullptr) return kPrimitiveNullPointer;
  return len > 0 ? kPrimitiveDone : kPrimitiveBadLength;
}

size_t count(int32_t len) { return static_cast<size_t>(len); }

int16_t saturate16(int64_t v) {
  if (v > kInt16Max) return static_cast<int16_t>(kInt16Max);
  if (v < kInt16Min) return static_cast<int16_t>(kInt16Min);
  return static_cast<int16_t>(v);
}

// v rounded to an integer, ties to even; |v| < 2^31.
int64_t roundHalfEven(double v) {
  int64_t t = static_cast<int64_t>(v);  // toward zero
  const double fraction = v - static_cast<double>(t);  // exact
  const bool odd = (t & 1) != 0;
  if (fraction > 0.5 || (fraction == 0.5 && odd)) {
    t += 1;
  } else if (fraction < -0.5 || (fraction == -0.5 && odd)) {
    t -= 1;
  }
  return t;
}

// Multiplies by 2^-scale in double, as halving (scale > 0) or doubling
// (scale < 0) |scale| times would: every step by a power of two is exact until
// the value leaves the range of a double.
struct PowerOfTwoScale {
  int32_t bigSteps;  // multiplications by bigStep first
  double bigStep;    // 2^-512 or 2^512
  double factor;     // then by this, 2^-(scale mod 512)

  explicit PowerOfTwoScale(int32_t scale) : bigSteps(0), bigStep(1.0), factor(1.0) {
    if (scale > kFloatToInt16ScaleLimit) scale = kFloatToInt16ScaleLimit;
    if (scale < -kFloatToInt16ScaleLimit) scale = -kFloatToInt16ScaleLimit;
    const int32_t magnitude = scale < 0 ? -scale : scale;
    bigSteps = magnitude / 512;
    bigStep = scale < 0 ? 0x1p512 : 0x1p-512;
    for (int32_t i = 0; i < magnitude % 512; ++i) factor *= scale < 0 ? 2.0 : 0.5;
  }
  double apply(double x) const {
    for (int32_t i = 0; i < bigSteps; ++i) x *= bigStep;
    return x * factor;
  }
};

float phaseOf(float re, float im) {
  // + 0.0 turns -0 into +0, so a negative real axis gives +pi, not -pi.
  return static_cast<float>(atan2(static_cast<double>(im) + 0.0, static_cast<double>(re)));
}

float magnitudeOf(float re, float im) {
  // In double: the squares of large spectra would overflow a float.
  const double r = re;
  const double i = im;
  return static_cast<float>(sqrt(r * r + i * i));
}

}  // namespace

PrimitiveStatus setFloat(float value, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) dst[i] = value;
  return kPrimitiveDone;
}

// The factor 0.5 (1 - cos(2 pi n / (len - 1))) by a rotation recurrence in
// double from both ends inwards: x[n] and x[len - 1 - n] get the same factor.
PrimitiveStatus hannWindow(float* x, int32_t len) {
  if (x == nullptr) return kPrimitiveNullPointer;
  if (len < kHannMinLength) return kPrimitiveBadLength;
  const size_t n = count(len);
  const double step = kTwoPi / static_cast<double>(len - 1);
  const double cosStep = cos(step);
  const double sinStep = sin(step);
  double c = 1.0;  // cos(2 pi i / (len - 1))
  double s = 0.0;  // sin(2 pi i / (len - 1))
  x[0] = 0.0f;
  x[n - 1] = 0.0f;
  for (size_t i = 1; i <= (n - 1) / 2; ++i) {
    const double nextC = c * cosStep - s * sinStep;
    s = s * cosStep + c * sinStep;
    c = nextC;
    const double factor = 0.5 * (1.0 - c);
    x[i] = static_cast<float>(x[i] * factor);
    if (n - 1 - i != i) x[n - 1 - i] = static_cast<float>(x[n - 1 - i] * factor);
  }
  return kPrimitiveDone;
}

PrimitiveStatus cartToPolar(const ComplexFloat* src, float* mag, float* phase, int32_t len) {
  const PrimitiveStatus magnitude = complexMagnitude(src, mag, len);
  const PrimitiveStatus angle = complexPhase(src, phase, len);
  return magnitude != kPrimitiveDone ? magnitude : angle;
}

PrimitiveStatus polarToCart(const float* mag, const float* phase, ComplexFloat* dst, int32_t len) {
  const PrimitiveStatus status = check(len, mag, phase, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) {
    const double m = mag[i];
    const double p = phase[i];
    dst[i] = {static_cast<float>(m * cos(p)), static_cast<float>(m * sin(p))};
  }
  return kPrimitiveDone;
}

PrimitiveStatus complexMultiply(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len) {
  const PrimitiveStatus status = check(len, a, b, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) {
    const ComplexFloat x = a[i];
    const ComplexFloat y = b[i];
    dst[i] = {x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
  }
  return kPrimitiveDone;
}

PrimitiveStatus complexSubtract(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len) {
  const PrimitiveStatus status = check(len, a, b, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) {
    const ComplexFloat x = a[i];
    const ComplexFloat y = b[i];
    dst[i] = {y.re - x.re, y.im - x.im};
  }
  return kPrimitiveDone;
}

PrimitiveStatus complexMagnitude(const ComplexFloat* src, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) dst[i] = magnitudeOf(src[i].re, src[i].im);
  return kPrimitiveDone;
}

PrimitiveStatus complexPhase(const ComplexFloat* src, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) dst[i] = phaseOf(src[i].re, src[i].im);
  return kPrimitiveDone;
}

// dst = b / a = b conj(a) / |a|^2
PrimitiveStatus complexDivide(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len) {
  const PrimitiveStatus status = check(len, a, b, dst);
  if (status != kPrimitiveDone) return status;
  const float nan = __builtin_bit_cast(float, kDivideByZeroNanBits);
  PrimitiveStatus result = kPrimitiveDone;
  for (size_t i = 0; i < count(len); ++i) {
    const ComplexFloat x = a[i];
    const ComplexFloat y = b[i];
    const float d = x.re * x.re + x.im * x.im;
    if (d == 0.0f || d != d) {
      dst[i] = {nan, nan};
      result = kPrimitiveDivideByZero;
    } else {
      dst[i] = {(x.re * y.re + x.im * y.im) / d, (x.re * y.im - x.im * y.re) / d};
    }
  }
  return result;
}

PrimitiveStatus complexCopy(const ComplexFloat* src, ComplexFloat* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  __builtin_memmove(dst, src, count(len) * sizeof(ComplexFloat));
  return kPrimitiveDone;
}

// v = src * 2^-scale in double; saturate at 32767 and -32768; then round to
// nearest with ties to even (rounding 1) or toward zero (any other value).
// A NaN has no nearest integer and becomes 0.
PrimitiveStatus floatToInt16(const float* src, int16_t* dst, int32_t len, int32_t rounding, int32_t scale) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  const PowerOfTwoScale toScale(scale);
  for (size_t i = 0; i < count(len); ++i) {
    const double v = toScale.apply(src[i]);
    int64_t q;
    if (v >= static_cast<double>(kInt16Max)) {
      q = kInt16Max;
    } else if (v <= static_cast<double>(kInt16Min)) {
      q = kInt16Min;
    } else if (v != v) {
      q = 0;
    } else {
      q = rounding == 1 ? roundHalfEven(v) : static_cast<int64_t>(v);
    }
    dst[i] = saturate16(q);
  }
  return kPrimitiveDone;
}

// p = k x in 32 bits, then by scale: 0 saturates p; below 0 shifts the
// saturated p left (below -15 only its sign is left); 1 .. 30 divides by
// 2^scale rounding to nearest, ties to even; above 30 gives 0.
PrimitiveStatus int16MultiplyConst(int16_t k, int16_t* x, int32_t len, int32_t scale) {
  const PrimitiveStatus status = check(len, x);
  if (status != kPrimitiveDone) return status;
  const size_t n = count(len);
  if (k == 0 || scale > 30) {
    for (size_t i = 0; i < n; ++i) x[i] = 0;
    return kPrimitiveDone;
  }
  if (scale == 0 && k == 1) return kPrimitiveDone;
  for (size_t i = 0; i < n; ++i) {
    const int64_t p = int32_t{k} * int32_t{x[i]};
    if (scale == 0) {
      x[i] = saturate16(p);
    } else if (scale < -15) {
      x[i] = static_cast<int16_t>(p > 0 ? kInt16Max : p < 0 ? kInt16Min : 0);
    } else if (scale < 0) {
      x[i] = saturate16(int64_t{saturate16(p)} * (int64_t{1} << -scale));
    } else {
      int64_t q = p >> scale;  // toward minus infinity
      const int64_t remainder = p - q * (int64_t{1} << scale);
      const int64_t half = int64_t{1} << (scale - 1);
      if (remainder > half || (remainder == half && (q & 1) != 0)) q += 1;
      x[i] = saturate16(q);
    }
  }
  return kPrimitiveDone;
}

PrimitiveStatus int16Zero(int16_t* dst, int32_t len) {
  const PrimitiveStatus status = check(len, dst);
  if (status != kPrimitiveDone) return status;
  __builtin_memset(dst, 0, count(len) * sizeof(int16_t));
  return kPrimitiveDone;
}

PrimitiveStatus floatCopy(const float* src, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  __builtin_memcpy(dst, src, count(len) * sizeof(float));
  return kPrimitiveDone;
}

PrimitiveStatus int16ToFloat(const int16_t* src, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) dst[i] = static_cast<float>(src[i]);
  return kPrimitiveDone;
}

PrimitiveStatus floatMultiply(const float* a, const float* b, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, a, b, dst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) dst[i] = a[i] * b[i];
  return kPrimitiveDone;
}

PrimitiveStatus floatAddInPlace(const float* src, float* srcdst, int32_t len) {
  const PrimitiveStatus status = check(len, src, srcdst);
  if (status != kPrimitiveDone) return status;
  for (size_t i = 0; i < count(len); ++i) srcdst[i] += src[i];
  return kPrimitiveDone;
}

// Overlapping ranges are fine: the move copies forward when dst lies below
// src and backward when above, as through a temporary copy.
PrimitiveStatus floatMove(const float* src, float* dst, int32_t len) {
  const PrimitiveStatus status = check(len, src, dst);
  if (status != kPrimitiveDone) return status;
  if (dst != src) __builtin_memmove(dst, src, count(len) * sizeof(float));
  return kPrimitiveDone;
}
