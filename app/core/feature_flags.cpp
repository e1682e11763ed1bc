#include "core/feature_flags.h"

#include "core/settings_model.h"
#include "core/settings_store.h"

void FeatureFlags::LoadOnce() {
  if (loaded_) return;
  loaded_ = true;
  micArraySupported_ = kDefaultMicArraySupported;
  noiseCancelSupported_ = kDefaultNoiseCancelSupported;
  SettingsStore key;
  if (key.Open(root_, SettingsModel::kKeyPath, KEY_READ) != ERROR_SUCCESS) return;
  key.ReadDword(L"MicArraySupported", micArraySupported_);
  key.ReadDword(L"NoiseCancelSupported", noiseCancelSupported_);
}

int32_t FeatureFlags::MicArraySupported() {
  LoadOnce();
  return micArraySupported_;
}

int32_t FeatureFlags::NoiseCancelSupported() {
  LoadOnce();
  return noiseCancelSupported_;
}
