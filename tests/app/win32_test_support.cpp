#include "app/win32_test_support.h"

#include <shlwapi.h>
#include <string.h>

#include <vector>

namespace test_support {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring MiravelPath() { return ProgramFolder() + L"Miravel.exe"; }

namespace {
constexpr const wchar_t* kScratchRoot = L"Software\\KalvexTests\\";
}

ScratchKey::ScratchKey(const wchar_t* name) : path_(std::wstring(kScratchRoot) + name) {
  SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}

ScratchKey::~ScratchKey() {
  if (key_) RegCloseKey(key_);
  SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
}

void WriteRaw(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void WriteDword(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD value) {
  WriteRaw(parent, path, name, REG_DWORD, &value, sizeof(value));
}

bool ReadDword(HKEY parent, const wchar_t* path, const wchar_t* name, DWORD& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD data = 0xdeadbeef;
  DWORD size = sizeof(data);
  const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  value = data;
  return true;
}

MiravelProcess::MiravelProcess(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE inputRead = nullptr;
  HANDLE outputWrite = nullptr;
  if (!CreatePipe(&inputRead, &inputWrite_, &inherit, 0)) return;
  if (!CreatePipe(&outputRead_, &outputWrite, &inherit, 1 << 16)) return;
  SetHandleInformation(inputWrite_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outputRead_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputRead;
  startup.hStdOutput = outputWrite;
  startup.hStdError = outputWrite;
  std::wstring commandLine = L"\"" + MiravelPath() + L"\" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    CloseHandle(info.hThread);
  }
  CloseHandle(inputRead);
  CloseHandle(outputWrite);
}

MiravelProcess::~MiravelProcess() {
  if (process_) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
  if (inputWrite_) CloseHandle(inputWrite_);
  if (outputRead_) CloseHandle(outputRead_);
}

void MiravelProcess::WriteInput(const char* text) {
  DWORD written = 0;
  WriteFile(inputWrite_, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

bool MiravelProcess::WaitForExit(DWORD milliseconds) {
  if (!process_) return false;
  const DWORD deadline = GetTickCount() + milliseconds;
  for (;;) {
    const DWORD now = GetTickCount();
    const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
    const DWORD result = MsgWaitForMultipleObjects(1, &process_, FALSE, left, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

DWORD MiravelProcess::ExitCode() const {
  DWORD code = 0xdeadbeef;
  if (process_) GetExitCodeProcess(process_, &code);
  return code;
}

std::string MiravelProcess::ReadOutput() {
  std::string output;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(outputRead_, nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!ReadFile(outputRead_, chunk.data(), available, &read, nullptr) || read == 0) break;
    output.append(chunk.data(), read);
  }
  return output;
}

void PumpMessages(DWORD milliseconds) {
  const DWORD deadline = GetTickCount() + milliseconds;
  while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

namespace {

struct DialogSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<DialogSearch*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (owner == search->processId && IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForDialogOf(DWORD processId, DWORD milliseconds) {
  const DWORD deadline = GetTickCount() + milliseconds;
  do {
    DialogSearch search = {processId, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    PumpMessages(100);
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return nullptr;
}

}  // namespace test_support
