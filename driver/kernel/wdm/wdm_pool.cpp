// Non-paged pool under the driver's tag, and the kernel runtime's rand.
#include "kernel/pool.h"
#include "kernel/random.h"
#include "wdm_platform.h"

extern "C" int __cdecl rand(void);

namespace {

// The pool aligns blocks to 8 bytes (16 on x86-64); the driver wants
// kPoolAlignment. Each block is over-allocated by that much and the pool's
// own address is kept in the word just below the block handed out.
constexpr size_t kSlack = kernel::kPoolAlignment;
static_assert(kSlack >= sizeof(void*) && (kSlack & (kSlack - 1)) == 0);

}  // namespace

namespace kernel {

void* poolAllocate(size_t bytes) {
  if (bytes > SIZE_MAX - kSlack) return nullptr;
  auto* raw = static_cast<uint8_t*>(ExAllocatePoolWithTag(NonPagedPool, bytes + kSlack, kPoolTag));
  if (raw == nullptr) return nullptr;
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + kSlack) & ~static_cast<uintptr_t>(kSlack - 1);
  auto* block = reinterpret_cast<uint8_t*>(aligned);
  __builtin_memcpy(block - sizeof(void*), &raw, sizeof(void*));
  return block;
}

void poolFree(void* block) {
  if (block == nullptr) return;
  void* raw;
  __builtin_memcpy(&raw, static_cast<uint8_t*>(block) - sizeof(void*), sizeof(void*));
  ExFreePoolWithTag(raw, kPoolTag);
}

int32_t rand() { return ::rand(); }

}  // namespace kernel
