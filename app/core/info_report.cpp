#include "core/info_report.h"

#include <math.h>

#include "core/main_controller.h"
#include "core/text_format.h"

namespace {

constexpr size_t kLineLength = 256;  // characters, with the terminator

uint32_t Query(UINT message) {
  HWND window = FindWindowW(MainController::kWindowClass, MainController::kWindowTitle);
  if (!window) return 0;
  return static_cast<uint32_t>(SendMessageW(window, message, 0, 0));
}

template <typename... Arguments>
void Append(std::wstring& report, const wchar_t* format, Arguments... arguments) {
  wchar_t line[kLineLength];
  FormatInto(line, kLineLength, format, arguments...);
  report += line;
}

// The standard handle the process was given, when it is a file, a pipe or a
// device other than a console; none otherwise.
HANDLE RedirectedHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) return nullptr;
  if (GetFileType(handle) == FILE_TYPE_UNKNOWN) return nullptr;
  return handle;
}

void WriteToFile(HANDLE output, const std::wstring& report) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, report.data(), static_cast<int>(report.size()), nullptr, 0,
                                        nullptr, nullptr);
  if (bytes <= 0) return;
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, report.data(), static_cast<int>(report.size()), text.data(), bytes, nullptr,
                      nullptr);
  DWORD written = 0;
  WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void WriteReport(const std::wstring& report, HANDLE redirected) {
  if (redirected) {
    WriteToFile(redirected, report);
    return;
  }
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!output || output == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    DWORD written = 0;
    WriteConsoleW(output, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  } else {
    WriteToFile(output, report);
  }
}

void ReadOneCharacter(HANDLE redirected) {
  HANDLE input = redirected ? redirected : GetStdHandle(STD_INPUT_HANDLE);
  if (!input || input == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD read = 0;
  if (GetConsoleMode(input, &mode)) {
    wchar_t character = 0;
    ReadConsoleW(input, &character, 1, &read, nullptr);
    return;
  }
  char byte = 0;
  ReadFile(input, &byte, 1, &read, nullptr);
}

}  // namespace

InstanceValues QueryRunningInstance() {
  InstanceValues values;
  values.micEnergyMean = Query(kMsgMicEnergyMean);
  values.outEnergyMean = Query(kMsgOutEnergyMean);
  values.ecStatusFlags = Query(kMsgEcStatusFlags);
  values.captureFormat = Query(kMsgCaptureFormat);
  values.renderFormat = Query(kMsgRenderFormat);
  return values;
}

int DecibelFigure(uint32_t mean) {
  if (mean == 0) return 0;
  // log10 may miss a power of ten by an ulp (10 * log10(10) = 9.999...), which
  // truncation would turn into a whole decibel. The nudge of 1e-9 dB is far
  // above that error (about 1e-14 dB) and below the distance of any other
  // 32-bit value's figure from an integer (at least 4.3e-9 dB, near 2^32).
  return static_cast<int>(10.0 * log10(static_cast<double>(mean)) + 1e-9);
}

std::wstring FormatInfoReport(const InstanceValues& values) {
  const PackedFormat capture = PackedFormat::Unpack(values.captureFormat);
  const PackedFormat render = PackedFormat::Unpack(values.renderFormat);
  std::wstring report;
  Append(report, L"Format\n");
  Append(report, L" Read %dHz, %dch, %dbit\n", static_cast<int>(capture.rate), static_cast<int>(capture.channels),
         static_cast<int>(capture.bits));
  Append(report, L" Write %dHz, %dch, %dbit\n", static_cast<int>(render.rate), static_cast<int>(render.channels),
         static_cast<int>(render.bits));
  Append(report, L"Power\n");
  Append(report, L" Mic %d (%d db)\n", static_cast<int>(values.micEnergyMean), DecibelFigure(values.micEnergyMean));
  Append(report, L" Out %d (%d db)\n", static_cast<int>(values.outEnergyMean), DecibelFigure(values.outEnergyMean));
  Append(report, L"EC Status 0x%X\n", static_cast<unsigned>(values.ecStatusFlags));
  Append(report, L"\n--Press Enter--\n");
  return report;
}

void RunInfoReport() {
  const InstanceValues values = QueryRunningInstance();
  const std::wstring report = FormatInfoReport(values);
  // A report redirected into a file or a pipe goes there, and a redirected
  // input supplies the character, even where the new console would take the
  // standard handles over.
  HANDLE redirectedOutput = RedirectedHandle(STD_OUTPUT_HANDLE);
  HANDLE redirectedInput = RedirectedHandle(STD_INPUT_HANDLE);
  AllocConsole();
  WriteReport(report, redirectedOutput);
  ReadOneCharacter(redirectedInput);
  FreeConsole();
}
