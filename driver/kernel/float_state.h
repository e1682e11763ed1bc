#pragma once
// Floating-point use in the kernel is bracketed by a save and a restore of the
// processor's floating-point state into an area private to the caller.
#include <stdint.h>

namespace kernel {

// Large enough for the platform's saved state on x86 (32 bytes) and x86-64.
struct FloatSaveArea {
  alignas(8) uint8_t bytes[32];
};

// False when the state could not be saved: the caller must then skip its
// floating-point work and must not call restoreFloatState.
bool saveFloatState(FloatSaveArea& area);
void restoreFloatState(FloatSaveArea& area);

// Saves the state for the lifetime of a scope; `saved()` says whether it did.
class FloatStateGuard {
 public:
  FloatStateGuard() : saved_(saveFloatState(area_)) {}
  ~FloatStateGuard() {
    if (saved_) restoreFloatState(area_);
  }
  FloatStateGuard(const FloatStateGuard&) = delete;
  FloatStateGuard& operator=(const FloatStateGuard&) = delete;
  bool saved() const { return saved_; }

 private:
  FloatSaveArea area_;
  bool saved_;
};

}  // namespace kernel
