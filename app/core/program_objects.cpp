#include "core/program_objects.h"

UINT g_taskbarCreatedMessage = 0;

// The model keeps the address of the list, which is constructed after it; it
// is used only once the entry runs.
ProgramObjects::ProgramObjects()
    : settings(&processList),
      client(),
      processList(),
      resources(),
      controller(settings, client),
      taskbarCreatedMessage(RegisterWindowMessageW(L"TaskbarCreated")) {
  g_taskbarCreatedMessage = taskbarCreatedMessage;
}
