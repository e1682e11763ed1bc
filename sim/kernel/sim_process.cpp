#include "sim_process.h"

#include "kernel/process.h"

namespace {

constexpr uint32_t kSystemProcessId = 4;
thread_local uint32_t threadProcessId = kSystemProcessId;

}  // namespace

namespace kernel {

uint32_t currentProcessId() { return threadProcessId; }

}  // namespace kernel

namespace sim {

void setCurrentProcessId(uint32_t id) { threadProcessId = id; }

}  // namespace sim
