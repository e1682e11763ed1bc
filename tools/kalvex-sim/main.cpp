// kalvex-sim: plays a notebook's loudspeaker and microphone streams through
// the driver as kernel-streaming requests and reports what the echo
// canceller did.
#include <iostream>

#include "sim_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return runKalvexSim(arguments, std::cout, std::cerr);
}
