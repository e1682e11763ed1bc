// The simulated non-paged pool: aligned blocks from the host heap, with a
// header that records each block's size so the live bytes can be counted.
#include <stdlib.h>

#include <mutex>

#include "kernel/pool.h"
#include "sim_kernel.h"

namespace {

struct BlockHeader {
  size_t bytes;
  uint32_t tag;
};
constexpr size_t kHeaderBytes = kernel::kPoolAlignment;
static_assert(sizeof(BlockHeader) <= kHeaderBytes);

std::mutex poolMutex;
sim::PoolCounters counters{};
int64_t failCountdown = 0;

}  // namespace

namespace kernel {

void* poolAllocate(size_t bytes) {
  std::lock_guard<std::mutex> hold(poolMutex);
  if (failCountdown > 0 && --failCountdown == 0) {
    counters.refusedAllocations++;
    return nullptr;
  }
  size_t total = (kHeaderBytes + bytes + kPoolAlignment - 1) / kPoolAlignment * kPoolAlignment;
  auto* raw = static_cast<unsigned char*>(aligned_alloc(kPoolAlignment, total));
  if (raw == nullptr) return nullptr;
  auto* header = reinterpret_cast<BlockHeader*>(raw);
  header->bytes = bytes;
  header->tag = kPoolTag;
  counters.liveBlocks++;
  counters.liveBytes += static_cast<int64_t>(bytes);
  counters.totalAllocations++;
  return raw + kHeaderBytes;
}

void poolFree(void* block) {
  if (block == nullptr) return;
  std::lock_guard<std::mutex> hold(poolMutex);
  auto* raw = static_cast<unsigned char*>(block) - kHeaderBytes;
  auto* header = reinterpret_cast<BlockHeader*>(raw);
  if (header->tag != kPoolTag) abort();  // not ours, or released twice
  header->tag = 0;
  counters.liveBlocks--;
  counters.liveBytes -= static_cast<int64_t>(header->bytes);
  free(raw);
}

}  // namespace kernel

namespace sim {

PoolCounters poolCounters() {
  std::lock_guard<std::mutex> hold(poolMutex);
  return counters;
}

void failAllocation(int64_t k) {
  std::lock_guard<std::mutex> hold(poolMutex);
  failCountdown = k;
}

void resetPoolCounters() {
  std::lock_guard<std::mutex> hold(poolMutex);
  counters.totalAllocations = 0;
  counters.refusedAllocations = 0;
  failCountdown = 0;
}

}  // namespace sim
