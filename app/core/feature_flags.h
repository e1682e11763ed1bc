#pragma once
// Machine-wide switches, read only from the settings key under the machine
// root and never written. Loaded the first time either is asked for, then
// kept for the life of the object.
#include <windows.h>

#include <stdint.h>

class FeatureFlags {
 public:
  static constexpr int32_t kDefaultMicArraySupported = 0;
  static constexpr int32_t kDefaultNoiseCancelSupported = 1;

  // root is the key under which "Software\VELMORA\Miravel" is looked up;
  // the program uses HKEY_LOCAL_MACHINE.
  explicit FeatureFlags(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}

  // The machine has a microphone array: selects the array variant of the application.
  int32_t MicArraySupported();
  // Copied into the echo-cancellation settings record at start.
  int32_t NoiseCancelSupported();

 private:
  void LoadOnce();

  HKEY root_;
  bool loaded_ = false;
  int32_t micArraySupported_ = kDefaultMicArraySupported;
  int32_t noiseCancelSupported_ = kDefaultNoiseCancelSupported;
};
