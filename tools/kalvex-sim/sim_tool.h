#pragma once
// kalvex-sim as a function: the command line in, the text out, the exit code back.
#include <ostream>
#include <string>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 1;  // a file, format or segment list the tool cannot use
inline constexpr int kExitUsage = 2;     // a malformed command line
inline constexpr int kExitFault = 3;     // the driver did not start, open its pins, carry a buffer or give back its memory

// Every failure is one line "kalvex-sim: ..." on `err` and writes no file.
int runKalvexSim(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
