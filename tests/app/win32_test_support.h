#pragma once
// Helpers of the application's tests under Wine: the folder of the programs,
// scratch registry keys, and child processes of Miravel.exe whose standard
// streams are pipes.
#include <windows.h>

#include <string>

namespace test_support {

// The folder of the running test executable, where Miravel.exe and Ostrel.dll lie.
std::wstring ProgramFolder();
std::wstring MiravelPath();

// A key under HKEY_CURRENT_USER\Software\KalvexTests, removed with everything
// below it before it is made and again when the object goes.
class ScratchKey {
 public:
  explicit ScratchKey(const wchar_t* name);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  HKEY Key() const { return key_; }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
  HKEY key_ = nullptr;
};

// Writes a REG_DWORD under parent\path, creating the keys.
void WriteDword(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD value);
// Writes raw bytes of the given type under parent\path.
void WriteRaw(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size);
// Whether the value exists, and its data when it is 4 bytes.
bool ReadDword(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD& value);

// Miravel.exe started with a command line, its standard input and output
// pipes. A process still running when the object goes is terminated.
class MiravelProcess {
 public:
  explicit MiravelProcess(const std::wstring& arguments);
  ~MiravelProcess();
  MiravelProcess(const MiravelProcess&) = delete;
  MiravelProcess& operator=(const MiravelProcess&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD Id() const { return id_; }
  // Writes to the child's standard input.
  void WriteInput(const char* text);
  // Waits for the end while dispatching this thread's messages (the child
  // sends messages to windows of this thread). True when it ended in time.
  bool WaitForExit(DWORD milliseconds);
  DWORD ExitCode() const;
  // All that the child wrote to its standard output until now (after it ended: all).
  std::string ReadOutput();

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HANDLE inputWrite_ = nullptr;
  HANDLE outputRead_ = nullptr;
};

// Dispatches this thread's messages for the given time.
void PumpMessages(DWORD milliseconds);

// The first visible top-level dialog window of the process, waiting for it
// up to the given time while dispatching messages; none if it never shows.
HWND WaitForDialogOf(DWORD processId, DWORD milliseconds);

}  // namespace test_support
