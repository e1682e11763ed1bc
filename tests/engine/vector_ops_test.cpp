// The vector primitives: rounding and saturation to 16 bits, the complex
// operations and their argument order, the window, overlapping moves, and the
// argument checks of every operation.
#include "engine/vector_ops.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

uint32_t bitsOf(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

TEST(FloatToInt16, RoundsAndSaturatesAsTabled) {
  struct Case {
    float in;
    int32_t rounding;
    int32_t scale;
    int16_t out;
  };
  const Case cases[] = {
      // To nearest, ties to even.
      {2.5f, 1, 0, 2},
      {3.5f, 1, 0, 4},
      {-2.5f, 1, 0, -2},
      {-3.5f, 1, 0, -4},
      {0.5f, 1, 0, 0},
      {-0.5f, 1, 0, 0},
      {1.5f, 1, 0, 2},
      {2.4999998f, 1, 0, 2},
      {2.5000002f, 1, 0, 3},
      {-2.5000002f, 1, 0, -3},
      {0.49999997f, 1, 0, 0},
      {-1.0e-30f, 1, 0, 0},
      // Saturation.
      {32767.4f, 1, 0, 32767},
      {32766.5f, 1, 0, 32766},
      {32766.6f, 1, 0, 32767},
      {32767.0f, 1, 0, 32767},
      {-32767.5f, 1, 0, -32768},
      {-32768.0f, 1, 0, -32768},
      {40000.0f, 1, 0, 32767},
      {-40000.0f, 1, 0, -32768},
      {kInf, 1, 0, 32767},
      {-kInf, 1, 0, -32768},
      {kNan, 1, 0, 0},
      // Toward zero for any other rounding value.
      {2.7f, 0, 0, 2},
      {-2.7f, 0, 0, -2},
      {3.5f, 2, 0, 3},
      {-32767.9f, 0, 0, -32767},
      {32767.9f, 0, 0, 32767},
      // Scale: halve (> 0) or double (< 0) before rounding.
      {5.0f, 1, 1, 2},
      {7.0f, 1, 1, 4},
      {3.0f, 1, 1, 2},
      {-3.0f, 1, 1, -2},
      {3.0f, 1, -1, 6},
      {20000.0f, 1, -1, 32767},
      {1.0f, 1, -14, 16384},
      {1.0f, 1, -15, 32767},
      {65535.0f, 1, 1, 32767},
      {131071.0f, 1, 2, 32767},
      {1.0f, 1, 2000, 0},
      {1.0f, 1, -2000, 32767},
      {-1.0f, 1, -2000, -32768},
      {0.0f, 1, -2000, 0},  // zero doubled any number of times stays zero
      {3.0e38f, 1, 140, 0},
      {0x1p-140f, 1, -140, 1},  // float denormals brought into range without loss
      {0x1.8p-141f, 1, -141, 2},
  };
  for (const Case& c : cases) {
    int16_t out[2] = {-999, -999};
    EXPECT_EQ(floatToInt16(&c.in, out, 1, c.rounding, c.scale), kPrimitiveDone);
    EXPECT_EQ(out[0], c.out) << "in " << c.in << ", rounding " << c.rounding << ", scale " << c.scale;
    EXPECT_EQ(out[1], -999) << "wrote past len";
  }
}

TEST(Int16MultiplyConst, SaturatesAndRoundsAsTabled) {
  struct Case {
    int16_t k;
    int16_t x;
    int32_t scale;
    int16_t out;
  };
  const Case cases[] = {
      // scale 0: saturated product; k = 1 leaves x.
      {3, 20000, 0, 32767},
      {2, -20000, 0, -32768},
      {1, 1234, 0, 1234},
      {1, -32768, 0, -32768},
      {-1, -32768, 0, 32767},
      {-1, 32767, 0, -32767},
      {7, -11, 0, -77},
      // k = 0 or scale > 30: zero.
      {0, 123, 0, 0},
      {0, 123, -3, 0},
      {5, 100, 31, 0},
      {-32768, -32768, 31, 0},
      // scale < -15: only the sign is left.
      {3, 7, -16, 32767},
      {-3, 7, -16, -32768},
      {3, 0, -16, 0},
      // -15 .. -1: saturate, shift left, saturate again.
      {3, 100, -2, 1200},
      {300, 200, -1, 32767},
      {-300, 200, -1, -32768},
      {1, 100, -15, 32767},
      {1, 0, -15, 0},
      {-1, 1, -15, -32768},
      // 1 .. 30: divide by 2^scale, to nearest with ties to even.
      {1, 5, 1, 2},
      {1, 7, 1, 4},
      {1, -5, 1, -2},
      {1, -7, 1, -4},
      {1, 6, 2, 2},
      {1, 5, 2, 1},
      {1, -6, 2, -2},
      {1, -5, 2, -1},
      {1, -3, 1, -2},
      {3, 30000, 1, 32767},
      {-3, 30000, 1, -32768},
      {16384, 1, 15, 0},
      {16384, 3, 15, 2},
      {32767, 32767, 30, 1},
      {-32768, 32767, 30, -1},
      {-32768, -32768, 30, 1},
      {1, 1, 30, 0},
  };
  for (const Case& c : cases) {
    int16_t x[2] = {c.x, -999};
    EXPECT_EQ(int16MultiplyConst(c.k, x, 1, c.scale), kPrimitiveDone);
    EXPECT_EQ(x[0], c.out) << "k " << c.k << ", x " << c.x << ", scale " << c.scale;
    EXPECT_EQ(x[1], -999) << "wrote past len";
  }
}

TEST(ComplexDivide, ZeroDivisorGivesNanInBothPartsAndFinishesTheOthers) {
  // dst = b / a: (5 + 6i) / (1 + 2i) = 3.4 - 0.8i; (1 + i) / (3 - 4i) = -0.04 + 0.28i.
  const ComplexFloat a[] = {{1, 2}, {0, 0}, {3, -4}, {kNan, 0}, {-0.0f, 0}, {0.5f, 0}};
  const ComplexFloat b[] = {{5, 6}, {7, 8}, {1, 1}, {1, 1}, {1, 1}, {-2, 3}};
  const struct {
    bool nan;
    double re;
    double im;
  } expected[] = {{false, 3.4, -0.8}, {true, 0, 0}, {false, -0.04, 0.28}, {true, 0, 0}, {true, 0, 0}, {false, -4, 6}};
  ComplexFloat dst[6];
  EXPECT_EQ(complexDivide(a, b, dst, 6), kPrimitiveDivideByZero);
  for (int i = 0; i < 6; ++i) {
    if (expected[i].nan) {
      EXPECT_EQ(bitsOf(dst[i].re), kDivideByZeroNanBits) << "element " << i;
      EXPECT_EQ(bitsOf(dst[i].im), kDivideByZeroNanBits) << "element " << i;
    } else {
      // A product, a sum and a quotient: a few roundings of eps/2 each.
      EXPECT_NEAR(dst[i].re, expected[i].re, 4 * FLT_EPSILON * std::fabs(expected[i].re) + 1e-7) << "element " << i;
      EXPECT_NEAR(dst[i].im, expected[i].im, 4 * FLT_EPSILON * std::fabs(expected[i].im) + 1e-7) << "element " << i;
    }
  }
  EXPECT_EQ(complexDivide(a, b, dst, 1), kPrimitiveDone) << "no zero divisor, no warning";
}

TEST(FloatMove, OverlappingRangesMoveWithoutCorruption) {
  struct Case {
    int srcOffset;
    int dstOffset;
    int len;
    std::vector<float> after;
  };
  const Case cases[] = {
      {0, 1, 7, {0, 0, 1, 2, 3, 4, 5, 6}},  // up by one: copies backward
      {0, 3, 5, {0, 1, 2, 0, 1, 2, 3, 4}},
      {1, 0, 7, {1, 2, 3, 4, 5, 6, 7, 7}},  // down by one: copies forward
      {3, 0, 5, {3, 4, 5, 6, 7, 5, 6, 7}},
      {2, 2, 6, {0, 1, 2, 3, 4, 5, 6, 7}},  // onto itself
  };
  for (const Case& c : cases) {
    std::vector<float> v = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(floatMove(v.data() + c.srcOffset, v.data() + c.dstOffset, c.len), kPrimitiveDone);
    EXPECT_EQ(v, c.after) << "src +" << c.srcOffset << ", dst +" << c.dstOffset << ", len " << c.len;
  }
}

TEST(HannWindow, RefusesLengthsBelowThreeAndLeavesTheVector) {
  for (int32_t len : {2, 1, 0, -1}) {
    float x[3] = {1, 2, 3};
    EXPECT_EQ(hannWindow(x, len), kPrimitiveBadLength) << "len " << len;
    EXPECT_EQ(x[0], 1.0f);
    EXPECT_EQ(x[1], 2.0f);
    EXPECT_EQ(x[2], 3.0f);
  }
  EXPECT_EQ(hannWindow(nullptr, 8), kPrimitiveNullPointer);
}

TEST(HannWindow, FactorsMatchTheFormulaAndAreSymmetric) {
  for (int32_t len : {3, 4, 5, 8, 257, 512}) {
    SCOPED_TRACE(testing::Message() << "len " << len);
    std::vector<float> x(static_cast<size_t>(len) + 1, 1.0f);
    x.back() = -5.0f;  // past the window
    ASSERT_EQ(hannWindow(x.data(), len), kPrimitiveDone);
    EXPECT_EQ(x.back(), -5.0f);
    EXPECT_EQ(x[0], 0.0f);
    EXPECT_EQ(x[static_cast<size_t>(len - 1)], 0.0f);
    for (int32_t n = 0; n < len; ++n) {
      const double factor = 0.5 * (1.0 - std::cos(2.0 * kPi * n / (len - 1)));
      // One rounding to float (eps/2 relative) and a recurrence error in double
      // far below 1e-12.
      EXPECT_NEAR(x[static_cast<size_t>(n)], factor, FLT_EPSILON / 2 * factor + 1e-12) << "n " << n;
      EXPECT_EQ(x[static_cast<size_t>(n)], x[static_cast<size_t>(len - 1 - n)]) << "n " << n;
    }
  }
  // The factor multiplies what is there.
  float x[5] = {7, 7, -3, 7, 7};
  ASSERT_EQ(hannWindow(x, 5), kPrimitiveDone);
  EXPECT_FLOAT_EQ(x[1], 3.5f);
  EXPECT_FLOAT_EQ(x[2], -3.0f);
  EXPECT_FLOAT_EQ(x[3], 3.5f);
}

// Results of the element-wise operations; argument order matters for
// subtract (b - a) and divide (b / a).
TEST(VectorOps, ElementwiseResults) {
  const ComplexFloat a[] = {{1, 2}, {-3, 0.5f}, {0, -4}};
  const ComplexFloat b[] = {{3, -1}, {2, 2}, {-1, 0}};
  ComplexFloat c[3];

  ASSERT_EQ(complexMultiply(a, b, c, 3), kPrimitiveDone);
  const ComplexFloat product[] = {{5, 5}, {-7, -5}, {0, 4}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c[i].re, product[i].re) << "multiply " << i;
    EXPECT_EQ(c[i].im, product[i].im) << "multiply " << i;
  }
  ASSERT_EQ(complexSubtract(a, b, c, 3), kPrimitiveDone);
  const ComplexFloat difference[] = {{2, -3}, {5, 1.5f}, {-1, 4}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c[i].re, difference[i].re) << "subtract " << i;
    EXPECT_EQ(c[i].im, difference[i].im) << "subtract " << i;
  }
  ASSERT_EQ(complexCopy(b, c, 3), kPrimitiveDone);
  EXPECT_EQ(std::memcmp(b, c, sizeof c), 0);

  const float x[] = {1.5f, -2, 0.25f, 1024};
  const float y[] = {2, 3, -4, 0.125f};
  float z[4];
  ASSERT_EQ(floatMultiply(x, y, z, 4), kPrimitiveDone);
  EXPECT_EQ(std::vector<float>(z, z + 4), (std::vector<float>{3, -6, -1, 128}));
  ASSERT_EQ(floatAddInPlace(x, z, 4), kPrimitiveDone);
  EXPECT_EQ(std::vector<float>(z, z + 4), (std::vector<float>{4.5f, -8, -0.75f, 1152}));
  ASSERT_EQ(floatCopy(y, z, 3), kPrimitiveDone);
  EXPECT_EQ(std::vector<float>(z, z + 4), (std::vector<float>{2, 3, -4, 1152}));
  ASSERT_EQ(setFloat(-0.5f, z, 2), kPrimitiveDone);
  EXPECT_EQ(std::vector<float>(z, z + 4), (std::vector<float>{-0.5f, -0.5f, -4, 1152}));

  const int16_t pcm[] = {-32768, -1, 0, 32767};
  float f[4];
  ASSERT_EQ(int16ToFloat(pcm, f, 4), kPrimitiveDone);
  EXPECT_EQ(std::vector<float>(f, f + 4), (std::vector<float>{-32768, -1, 0, 32767}));
  int16_t s[4] = {1, 2, 3, 4};
  ASSERT_EQ(int16Zero(s, 3), kPrimitiveDone);
  EXPECT_EQ(std::vector<int16_t>(s, s + 4), (std::vector<int16_t>{0, 0, 0, 4}));
}

// Magnitude and phase, in double and rounded once: within an ulp or two.
TEST(VectorOps, PolarConversions) {
  struct Case {
    ComplexFloat z;
    double magnitude;
    double phase;  // in (-pi, pi]
  };
  const Case cases[] = {
      {{3, 4}, 5, std::atan2(4.0, 3.0)},
      {{-1, 0}, 1, kPi},
      {{-1, -0.0f}, 1, kPi},  // the negative real axis is +pi, not -pi
      {{0, -2}, 2, -kPi / 2},
      {{-1, -1}, std::sqrt(2.0), -3 * kPi / 4},
      {{0, 0}, 0, 0},
      {{3e30f, 4e30f}, 5e30, std::atan2(4.0, 3.0)},  // squares beyond float range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "z = " << c.z.re << " + " << c.z.im << "i");
    float magnitude = -1;
    float phase = -1;
    ASSERT_EQ(cartToPolar(&c.z, &magnitude, &phase, 1), kPrimitiveDone);
    EXPECT_NEAR(magnitude, c.magnitude, FLT_EPSILON * c.magnitude);
    EXPECT_NEAR(phase, c.phase, FLT_EPSILON * kPi);
    ComplexFloat back;
    ASSERT_EQ(polarToCart(&magnitude, &phase, &back, 1), kPrimitiveDone);
    // mag and phase each carry eps/2; the product two more roundings.
    EXPECT_NEAR(back.re, c.z.re, 3 * FLT_EPSILON * c.magnitude);
    EXPECT_NEAR(back.im, c.z.im, 3 * FLT_EPSILON * c.magnitude);
  }
}

TEST(VectorOps, CartToPolarRunsItsHalvesIndependently) {
  const ComplexFloat z[] = {{0, 2}, {-5, 0}};
  float magnitude[2] = {-1, -1};
  float phase[2] = {-1, -1};
  EXPECT_EQ(cartToPolar(z, nullptr, phase, 2), kPrimitiveNullPointer);
  EXPECT_FLOAT_EQ(phase[0], static_cast<float>(kPi / 2));
  EXPECT_FLOAT_EQ(phase[1], static_cast<float>(kPi));
  EXPECT_EQ(cartToPolar(z, magnitude, nullptr, 2), kPrimitiveNullPointer);
  EXPECT_EQ(magnitude[0], 2.0f);
  EXPECT_EQ(magnitude[1], 5.0f);
}

// Every operation: -8 for each missing pointer (also when the length is bad
// too), -6 for lengths 0 and -1, and nothing written in any buffer.
TEST(VectorOps, ArgumentErrorsWriteNothing) {
  using Call = std::function<PrimitiveStatus(void* const* p, int32_t len)>;
  struct Operation {
    const char* name;
    int pointers;
    Call call;
  };
  const auto F = [](void* p) { return static_cast<float*>(p); };
  const auto C = [](void* p) { return static_cast<ComplexFloat*>(p); };
  const auto S = [](void* p) { return static_cast<int16_t*>(p); };
  const Operation operations[] = {
      {"setFloat", 1, [&](void* const* p, int32_t n) { return setFloat(1.0f, F(p[0]), n); }},
      {"hannWindow", 1, [&](void* const* p, int32_t n) { return hannWindow(F(p[0]), n); }},
      {"cartToPolar", 3, [&](void* const* p, int32_t n) { return cartToPolar(C(p[0]), F(p[1]), F(p[2]), n); }},
      {"polarToCart", 3, [&](void* const* p, int32_t n) { return polarToCart(F(p[0]), F(p[1]), C(p[2]), n); }},
      {"complexMultiply", 3, [&](void* const* p, int32_t n) { return complexMultiply(C(p[0]), C(p[1]), C(p[2]), n); }},
      {"complexSubtract", 3, [&](void* const* p, int32_t n) { return complexSubtract(C(p[0]), C(p[1]), C(p[2]), n); }},
      {"complexMagnitude", 2, [&](void* const* p, int32_t n) { return complexMagnitude(C(p[0]), F(p[1]), n); }},
      {"complexPhase", 2, [&](void* const* p, int32_t n) { return complexPhase(C(p[0]), F(p[1]), n); }},
      {"complexDivide", 3, [&](void* const* p, int32_t n) { return complexDivide(C(p[0]), C(p[1]), C(p[2]), n); }},
      {"complexCopy", 2, [&](void* const* p, int32_t n) { return complexCopy(C(p[0]), C(p[1]), n); }},
      {"floatToInt16", 2, [&](void* const* p, int32_t n) { return floatToInt16(F(p[0]), S(p[1]), n, 1, 0); }},
      {"int16MultiplyConst", 1, [&](void* const* p, int32_t n) { return int16MultiplyConst(3, S(p[0]), n, 0); }},
      {"int16Zero", 1, [&](void* const* p, int32_t n) { return int16Zero(S(p[0]), n); }},
      {"floatCopy", 2, [&](void* const* p, int32_t n) { return floatCopy(F(p[0]), F(p[1]), n); }},
      {"int16ToFloat", 2, [&](void* const* p, int32_t n) { return int16ToFloat(S(p[0]), F(p[1]), n); }},
      {"floatMultiply", 3, [&](void* const* p, int32_t n) { return floatMultiply(F(p[0]), F(p[1]), F(p[2]), n); }},
      {"floatAddInPlace", 2, [&](void* const* p, int32_t n) { return floatAddInPlace(F(p[0]), F(p[1]), n); }},
      {"floatMove", 2, [&](void* const* p, int32_t n) { return floatMove(F(p[0]), F(p[1]), n); }},
  };
  constexpr size_t kBytes = 64;
  constexpr unsigned char kFill = 0x5A;  // as float 1.5e16, as int16 23130
  for (const Operation& op : operations) {
    struct Try {
      int nullPointer;  // index, or -1 for none
      int32_t len;
      PrimitiveStatus expected;
    };
    std::vector<Try> tries = {{-1, 0, kPrimitiveBadLength}, {-1, -1, kPrimitiveBadLength}};
    for (int i = 0; i < op.pointers; ++i) {
      tries.push_back({i, 4, kPrimitiveNullPointer});
      tries.push_back({i, 0, kPrimitiveNullPointer});
    }
    for (const Try& t : tries) {
      alignas(8) unsigned char buffers[3][kBytes];
      std::memset(buffers, kFill, sizeof buffers);
      void* p[3] = {buffers[0], buffers[1], buffers[2]};
      if (t.nullPointer >= 0) p[t.nullPointer] = nullptr;
      // cartToPolar runs its halves independently: the half whose pointers
      // are given still fills its output, and the magnitude half's status
      // comes first (a bad length before a missing phase vector).
      const bool halves = std::strcmp(op.name, "cartToPolar") == 0;
      const bool halfRuns = halves && t.nullPointer > 0 && t.len > 0;
      const PrimitiveStatus expected = halves && t.nullPointer == 2 && t.len <= 0 ? kPrimitiveBadLength : t.expected;
      const PrimitiveStatus status = op.call(p, t.len);
      EXPECT_EQ(status, expected) << op.name << ", null pointer " << t.nullPointer << ", len " << t.len;
      for (int b = 0; b < 3; ++b) {
        if (halfRuns && b == 3 - t.nullPointer) continue;
        for (size_t i = 0; i < kBytes; ++i) {
          ASSERT_EQ(buffers[b][i], kFill) << op.name << " wrote buffer " << b << " byte " << i
                                          << " (null pointer " << t.nullPointer << ", len " << t.len << ")";
        }
      }
    }
  }
}

}  // namespace
