#pragma once
// The program-wide objects, created in this fixed order before the entry runs
// and kept until the process ends. The "TaskbarCreated" message is registered
// with them.
#include <windows.h>

#include "core/device_client.h"
#include "core/main_controller.h"
#include "core/mixer_control.h"
#include "core/process_list.h"
#include "core/resource_library.h"
#include "core/settings_model.h"

struct ProgramObjects {
  ProgramObjects();

  SettingsModel settings;     // with its defaults; loads and saves the process list
  MixerControl mixer;
  KalvexClient client;
  ProcessList processList;
  ResourceLibrary resources;  // loads the library now
  MainController controller;
  UINT taskbarCreatedMessage;
};

// The number the shell broadcasts when the taskbar is created again.
extern UINT g_taskbarCreatedMessage;
