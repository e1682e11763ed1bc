#include "core/settings_model.h"

#include "core/process_list.h"
#include "core/settings_store.h"

int SettingsModel::Load(HKEY root) {
  SettingsStore key;
  if (key.Open(root, kKeyPath, kLoadAccess) != ERROR_SUCCESS) return 0;
  key.ReadDword(L"HandsFreeMode", HandsFreeMode);
  key.ReadDword(L"TrayIcon", TrayIcon);
  key.ReadDword(L"AppAssociation", AppAssociation);
  key.ReadDword(L"ShowAssociationBalloon", ShowAssociationBalloon);

  processList_->LoadList(key);

  SettingsStore ec;
  if (key.OpenSubkey(ec, kEcSubkey) == ERROR_SUCCESS) {
    ec.ReadDword(L"IgnoreHwVolume", IgnoreHwVolume);
    ec.ReadDword(L"AdjustVolume", AdjustVolume);
    ec.ReadDword(L"EcState", EcState);
    ec.ReadDword(L"MicVolume", MicVolume);
    ec.ReadDword(L"SpeakerVolume", SpeakerVolume);
    ec.ReadDword(L"MicBoost", MicBoost);
    ec.ReadDword(L"OutMasterVolume", OutMasterVolume);
    ec.ReadDword(L"RefDelay", RefDelay);
    ec.ReadDword(L"MinMicVolume", MinMicVolume);
    ec.ReadDword(L"MinMicVolume", MicVolumeUpperLimit);
  }

  SettingsStore array;
  if (key.OpenSubkey(array, kMicArraySubkey) == ERROR_SUCCESS) {
    array.ReadDword(L"MaState", MaState);
    array.ReadDword(L"BeamDir", BeamDir);
    array.ReadDword(L"BeamTrk", BeamTrk);
    array.ReadDword(L"SwapChannel", SwapChannel);
  }
  return 1;
}

int SettingsModel::Save(HKEY root) const {
  SettingsStore key;
  if (key.Create(root, kKeyPath, kSaveAccess) != ERROR_SUCCESS) return 0;
  int ok = 1;
  auto write = [&ok](const SettingsStore& store, const wchar_t* name, int32_t value) {
    if (store.WriteDword(name, value) != ERROR_SUCCESS) ok = 0;
  };
  write(key, L"HandsFreeMode", HandsFreeMode);
  write(key, L"TrayIcon", TrayIcon);
  write(key, L"AppAssociation", AppAssociation);
  write(key, L"ShowAssociationBalloon", ShowAssociationBalloon);

  if (!processList_->SaveList(key)) ok = 0;

  // RefDelay and the two limits are never written: they take effect only
  // when an administrator put them into the registry.
  SettingsStore ec;
  if (key.CreateSubkey(ec, kEcSubkey) == ERROR_SUCCESS) {
    write(ec, L"IgnoreHwVolume", IgnoreHwVolume);
    write(ec, L"AdjustVolume", AdjustVolume);
    write(ec, L"EcState", EcState);
    write(ec, L"MicVolume", MicVolume);
    write(ec, L"MicBoost", MicBoost);
    write(ec, L"SpeakerVolume", SpeakerVolume);
    write(ec, L"OutMasterVolume", OutMasterVolume);
  } else {
    ok = 0;
  }

  SettingsStore array;
  if (key.CreateSubkey(array, kMicArraySubkey) == ERROR_SUCCESS) {
    write(array, L"MaState", MaState);
    write(array, L"BeamDir", BeamDir);
    write(array, L"BeamTrk", BeamTrk);
    write(array, L"SwapChannel", SwapChannel);
  } else {
    ok = 0;
  }
  return ok;
}
