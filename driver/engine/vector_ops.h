#pragma once
// Vector primitives on float32, complex float32 and int16 vectors. Lengths
// count elements of the vector's own type. Every call returns a status of
// primitive_status.h; on an argument error nothing is written.
#include <stdint.h>

#include "engine/primitive_status.h"

// A complex vector of n values occupies 2n floats: (re, im) pairs.
struct ComplexFloat {
  float re;
  float im;
};

// The quiet NaN complexDivide writes where the divisor is zero.
inline constexpr uint32_t kDivideByZeroNanBits = 0xFFC00000u;

// dst[i] = value
PrimitiveStatus setFloat(float value, float* dst, int32_t len);
// x[n] *= 0.5 (1 - cos(2 pi n / (len - 1))), in place; len >= 3.
PrimitiveStatus hannWindow(float* x, int32_t len);
// mag = |src|, phase = arg src; the two halves run independently and the
// first non-zero status of the two is returned.
PrimitiveStatus cartToPolar(const ComplexFloat* src, float* mag, float* phase, int32_t len);
// dst = mag (cos phase + i sin phase)
PrimitiveStatus polarToCart(const float* mag, const float* phase, ComplexFloat* dst, int32_t len);
// dst = a * b
PrimitiveStatus complexMultiply(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len);
// dst = b - a (second minus first)
PrimitiveStatus complexSubtract(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len);
// dst = sqrt(re^2 + im^2)
PrimitiveStatus complexMagnitude(const ComplexFloat* src, float* dst, int32_t len);
// dst = atan2(im, re), radians in (-pi, pi]
PrimitiveStatus complexPhase(const ComplexFloat* src, float* dst, int32_t len);
// dst = b / a (second divided by first); NaN (kDivideByZeroNanBits) in both
// parts where |a| is 0 or not a number, and status 6.
PrimitiveStatus complexDivide(const ComplexFloat* a, const ComplexFloat* b, ComplexFloat* dst, int32_t len);
// dst = src
PrimitiveStatus complexCopy(const ComplexFloat* src, ComplexFloat* dst, int32_t len);
// dst = saturate(round(src * 2^-scale)); rounding 1: to nearest, ties to even;
// any other value: toward zero. The engine uses rounding 1, scale 0.
PrimitiveStatus floatToInt16(const float* src, int16_t* dst, int32_t len, int32_t rounding, int32_t scale);
// x = saturate(k * x * 2^-scale), in place. The engine uses scale 0.
PrimitiveStatus int16MultiplyConst(int16_t k, int16_t* x, int32_t len, int32_t scale);
// dst = 0
PrimitiveStatus int16Zero(int16_t* dst, int32_t len);
// dst = src; the ranges must not overlap
PrimitiveStatus floatCopy(const float* src, float* dst, int32_t len);
// dst = src, exact
PrimitiveStatus int16ToFloat(const int16_t* src, float* dst, int32_t len);
// dst = a * b
PrimitiveStatus floatMultiply(const float* a, const float* b, float* dst, int32_t len);
// srcdst += src
PrimitiveStatus floatAddInPlace(const float* src, float* srcdst, int32_t len);
// dst = src; the ranges may overlap
PrimitiveStatus floatMove(const float* src, float* dst, int32_t len);
