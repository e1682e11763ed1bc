#include "core/command_line.h"

#include <string.h>

namespace {

struct SwitchName {
  const char* name;
  Switch value;
};

constexpr SwitchName kSwitchNames[] = {
    {"Run", Switch::Run}, {"Start", Switch::Start}, {"On", Switch::On},
    {"Off", Switch::Off}, {"Exit", Switch::Exit},   {"Info", Switch::Info},
};

char FoldAsciiCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool Matches(const char* text, const char* name) {
  size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    if (text[i] == '\0' || FoldAsciiCase(text[i]) != FoldAsciiCase(name[i])) return false;
  }
  return text[i] == ' ' || text[i] == '\0';
}

}  // namespace

Switch RecognizeSwitch(const char* commandLine) {
  if (!commandLine) return Switch::None;
  const char* slash = strrchr(commandLine, '/');
  if (!slash) return Switch::None;
  for (const SwitchName& entry : kSwitchNames) {
    if (Matches(slash + 1, entry.name)) return entry.value;
  }
  return Switch::None;
}
