// What the statically linked math routines of mingw-w64 need and the kernel
// does not export: the error hooks they call, and log10, which only the C
// runtime has. No platform header here: the C runtime's declarations of
// these would be imports.
#include "kernel/kernel_math.h"

extern "C" {

// Domain and range errors are recorded here. Nobody reads them: each call
// answers its own NaN or infinity.
int* _errno() {
  static int lastError;
  return &lastError;
}

// The error handler hook: take the default answer.
struct _exception;
int _matherr(struct _exception*) { return 0; }
void __mingw_raise_matherr(int, const char*, double, double, double) {}

long double log10l(long double);

// The long double form of the static library, rounded once more to double.
double log10(double x) { return static_cast<double>(log10l(x)); }

}  // extern "C"
