#pragma once
// The driver's memory: non-paged pool under the driver's own tag. Only object
// creation allocates; the stream paths never do.
#include <stddef.h>
#include <stdint.h>

namespace kernel {

// Every block is aligned to this many bytes (the transforms' tables rely on it).
inline constexpr size_t kPoolAlignment = 32;
// The driver's four-character pool tag, "Kalv" as it appears in a pool dump.
inline constexpr uint32_t kPoolTag = 'v' << 24 | 'l' << 16 | 'a' << 8 | 'K';

// Returns a block of at least `bytes` bytes, or none. The contents are undefined.
void* poolAllocate(size_t bytes);
// Releases a block of poolAllocate; none is allowed and does nothing.
void poolFree(void* block);

// `count` zeroed values of T, or none when the pool refuses or the size overflows.
template <typename T>
T* poolAllocateZeroed(size_t count = 1) {
  if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
  void* block = poolAllocate(count * sizeof(T));
  if (block != nullptr) __builtin_memset(block, 0, count * sizeof(T));
  return static_cast<T*>(block);
}

// Releases and sets the owner's pointer to none.
template <typename T>
void poolRelease(T*& block) {
  poolFree(block);
  block = nullptr;
}

}  // namespace kernel
