#pragma once
// The entry of Miravel: forwards a switch to the running instance and ends,
// prints the console report, or starts the single instance. Always ends with 0.
#include <windows.h>

struct ProgramObjects;

inline constexpr const wchar_t* kInstanceMutexName = L"Miravel_Mutex";

// The application's instance handle: icons and sounds are loaded from it.
extern HINSTANCE g_appInstance;
// The system is version 5.1 or later (process modules, session notifications).
extern bool g_isVersion51OrLater;

int RunApplication(ProgramObjects& objects, HINSTANCE instance, const char* commandLine);
