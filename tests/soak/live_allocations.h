// Live heap blocks of the whole process, counted through AddressSanitizer's allocator hooks: every
// malloc, new and realloc raises the count, every free lowers it. Counts, unlike bytes, do not move
// when a container merely changes its capacity. Without AddressSanitizer nothing is counted.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define VELISSA_COUNTS_ALLOCATIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELISSA_COUNTS_ALLOCATIONS 1
#endif
#endif

#ifdef VELISSA_COUNTS_ALLOCATIONS
// Declared here: GCC installs no <sanitizer/allocator_interface.h>, though its runtime has the call.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));

inline int64_t live_allocation_counter = 0;

inline void soak_count_malloc(const volatile void*, size_t) { ++live_allocation_counter; }
inline void soak_count_free(const volatile void*) { --live_allocation_counter; }

// Installs the hooks on first use; blocks made before that are not counted, but they never come
// into a difference taken afterwards unless they are freed meanwhile (which lowers it).
inline bool counting_allocations() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(soak_count_malloc, soak_count_free) != 0;
  return installed;
}
inline int64_t live_allocations() { return live_allocation_counter; }
#else
inline bool counting_allocations() { return false; }
inline int64_t live_allocations() { return 0; }
#endif
