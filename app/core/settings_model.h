#pragma once
// Every persistent choice of the application, as public fields that the
// controller and the settings window read and write directly. Stored under
// "Software\VELMORA\Miravel": the machine root holds defaults that are only
// read, the user root the user's values. Loading the machine root and then the
// user root layers them over the defaults below; a value that is missing or
// cannot be read leaves its field as it was. Every value is a REG_DWORD.
#include <windows.h>

#include <stdint.h>

#include "core/feature_flags.h"

class ProcessList;

class SettingsModel {
 public:
  static constexpr const wchar_t* kKeyPath = L"Software\\VELMORA\\Miravel";
  static constexpr const wchar_t* kEcSubkey = L"EC";
  static constexpr const wchar_t* kMicArraySubkey = L"MicAry";
  static constexpr REGSAM kLoadAccess = KEY_READ;              // 0x20019
  static constexpr REGSAM kSaveAccess = KEY_READ | KEY_WRITE;  // 0x2001f
  static constexpr int32_t kNotSet = -1;                       // a volume never stored

  // The list is loaded and saved together with the model; it need not be
  // constructed yet (the program-wide list is created after the model).
  explicit SettingsModel(ProcessList* processList, HKEY featureRoot = HKEY_LOCAL_MACHINE)
      : featureFlags(featureRoot), processList_(processList) {}
  virtual ~SettingsModel() = default;

  // Reads the model and the list from the key under root. 1 when the key
  // could be opened, else 0 (callers do not rely on it).
  int Load(HKEY root);
  // Writes the model and the list under root, creating keys as needed. 1
  // only when every value, the list and both subkeys were written.
  int Save(HKEY root) const;

  // The fields in their fixed order; the comment says where each is stored.
  // Subkey EC. Volumes are stored and restored only.
  int32_t MicVolume = kNotSet;
  int32_t SpeakerVolume = kNotSet;
  int32_t OutMasterVolume = kNotSet;
  int32_t MicBoost = 1;       // written to the boost switch when the adjuster starts
  int32_t RefDelay = 0;       // loaded only, never written back
  // Limits of the automatic microphone level, percent of the control's steps.
  // Both are read from MinMicVolume and neither is ever written; the upper
  // limit has no value of its own, so it stays 50 only while MinMicVolume is absent.
  int32_t MinMicVolume = 10;
  int32_t MicVolumeUpperLimit = 50;
  int32_t EcState = 1;                 // EC: echo-cancellation sub-switch
  int32_t TrayIcon = 1;                // top key: show the tray icon
  int32_t IgnoreHwVolume = 1;          // EC
  int32_t AdjustVolume = 1;            // EC: run the automatic microphone level
  int32_t MaState = 1;                 // MicAry: microphone-array sub-switch
  int32_t BeamDir = 0;                 // MicAry
  int32_t BeamTrk = 15;                // MicAry
  int32_t HandsFreeMode = 1;           // top key: master switch of the processing
  int32_t AppAssociation = 1;          // top key: process only associated applications
  int32_t ShowAssociationBalloon = 1;  // top key
  int32_t SwapChannel = 0;             // MicAry: 0 never, 1 at 180 degrees, 2 at 180 and 270 degrees

  FeatureFlags featureFlags;

 private:
  ProcessList* processList_;
};
