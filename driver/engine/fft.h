#pragma once
// Real FFT of N = 2^order points with a packed spectrum of N + 2 floats:
//   [Re X0, 0, Re X1, Im X1, ..., Re X(N/2-1), Im X(N/2-1), Re X(N/2), 0]
// Forward: X[k] = scale * sum_n x[n] e^(-2 pi i k n / N), k = 0 .. N/2.
// Inverse: x[n] = scale * sum_k X[k] e^(+2 pi i k n / N) over the Hermitian
// spectrum rebuilt from the packed one; packed positions 1 and N + 1 are ignored.
#include <stdint.h>

#include "engine/primitive_status.h"

inline constexpr int32_t kFftSetupId = 6;
inline constexpr int32_t kFftMaxOrder = 30;

// Scaling flags of fftCreate.
inline constexpr int32_t kFftScaleForwardByN = 1;
inline constexpr int32_t kFftScaleInverseByN = 2;
inline constexpr int32_t kFftScaleBothBySqrtN = 4;  // the only one the engine uses
inline constexpr int32_t kFftNoScale = 8;

struct FftSetup {
  int32_t id;            // kFftSetupId; every transform checks it
  int32_t order;         // log2 N
  int32_t scaleForward;  // 1: the forward result is multiplied by scale
  int32_t scaleInverse;  // 1: the inverse result is multiplied by scale
  float scale;           // 1/N or 1/sqrt(N)
  int32_t hint;          // algorithm hint, stored only
  int32_t workSize;      // bytes of scratch a transform needs; always 0 here
  int32_t ownsMemory;    // 1: fftDestroy releases the setup and its tables
  // Tables for order > 3, owned by the setup; none below.
  int32_t* bitReverseTable;  // N/2 entries: bit reversal of the half-size complex FFT
  // Complex (re, im) pairs: the roots of each butterfly span 8 .. N/2 of the
  // half-size FFT in turn (N/2 - 4 pairs), then the real-split roots
  // e^(-2 pi i k / N), k = 0 .. N/4 (N/4 + 1 pairs).
  float* twiddleTables;
};

// Creates a setup into *out. Errors: -8 out is none, -15 order, -16 flag, -9 no memory.
PrimitiveStatus fftCreate(FftSetup** out, int32_t order, int32_t flag, int32_t hint);
// Releases the setup and its tables; -17 (and nothing released) when the id is wrong.
PrimitiveStatus fftDestroy(FftSetup* setup);
// dst[N + 2] = packed spectrum of src[N]. scratch may be none.
PrimitiveStatus fftForward(const float* src, float* dst, const FftSetup* setup, void* scratch);
// dst[N] = real signal of the packed spectrum src[N + 2]. scratch may be none.
PrimitiveStatus fftInverse(const float* src, float* dst, const FftSetup* setup, void* scratch);
