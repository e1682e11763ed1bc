#include <gtest/gtest.h>

#include "core/command_line.h"

namespace {

const char* Name(Switch value) {
  switch (value) {
    case Switch::None: return "None";
    case Switch::Run: return "Run";
    case Switch::Start: return "Start";
    case Switch::On: return "On";
    case Switch::Off: return "Off";
    case Switch::Exit: return "Exit";
    case Switch::Info: return "Info";
  }
  return "?";
}

struct SwitchCase {
  const char* commandLine;
  Switch expected;
};

TEST(CommandLine, RecognizesSwitchAfterTheLastSlash) {
  const SwitchCase cases[] = {
      {"", Switch::None},
      {"Run", Switch::None},             // no slash
      {"/Run", Switch::Run},
      {"/run", Switch::Run},
      {"/RUN", Switch::Run},
      {"/Runner", Switch::None},         // the name must end at a space or the end
      {"/Run now", Switch::Run},
      {"/Start", Switch::Start},
      {"/sTaRt", Switch::Start},
      {"/On", Switch::On},
      {"/ON", Switch::On},
      {"/on", Switch::On},
      {"/Once", Switch::None},
      {"/Off", Switch::Off},
      {"/OFF", Switch::Off},
      {"/Exit", Switch::Exit},
      {"/Info", Switch::Info},
      {"/Start /Info", Switch::Info},    // only the last switch counts
      {"/On x:/dir", Switch::None},      // the last slash is inside a path
      {"/On x:\\dir", Switch::On},       // backslashes are no switches
      {"/", Switch::None},
      {"/O", Switch::None},              // shorter than any name
      {"/Info\t", Switch::None},         // only a space ends a name
      {"  /exit  ", Switch::Exit},
  };
  for (const SwitchCase& c : cases) {
    EXPECT_STREQ(Name(c.expected), Name(RecognizeSwitch(c.commandLine))) << "command line \"" << c.commandLine << "\"";
  }
  EXPECT_EQ(Switch::None, RecognizeSwitch(nullptr));
}

}  // namespace
