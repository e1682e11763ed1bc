#pragma once
// The command-line switches, each written after a slash.
enum class Switch { None, Run, Start, On, Off, Exit, Info };

// Only the text after the last slash can match: it matches a switch name when
// it starts with the name in any letter case and the name is followed by a
// space or the end. Names are tried in the order Run, Start, On, Off, Exit,
// Info; the first that matches wins.
Switch RecognizeSwitch(const char* commandLine);
