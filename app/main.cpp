// Miravel, the control application of the Kalvex echo-cancellation filter: a
// tray program, one per user session.
#include <windows.h>

#include "core/application.h"
#include "core/program_objects.h"

namespace {

// Created before WinMain runs, in their fixed order, and kept until the end.
ProgramObjects g_programObjects;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RunApplication(g_programObjects, instance, commandLine);
  return 0;
}
