#pragma once
// The standard math functions the engine uses. The kernel build has no hosted
// headers, so it declares them itself; the driver image links them statically.
#if defined(KALVEX_KERNEL_BUILD)
extern "C" {
double sqrt(double);
double sin(double);
double cos(double);
double atan2(double, double);
double log10(double);
double pow(double, double);
double floor(double);
double fabs(double);
float sqrtf(float);
float sinf(float);
float cosf(float);
float atan2f(float, float);
float fabsf(float);
}
#else
#include <math.h>
#endif
