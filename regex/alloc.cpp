// The engine's allocations, with the one-shot failure the tests use to reach every
// out-of-memory path.
#include <cstdlib>

#include "regex/internal.h"

namespace regex_internal {

namespace {

// Allocations to let through before the one that fails; negative: none fails.
thread_local long g_allocations_before_failure = -1;

bool fails_now() noexcept {
  if (g_allocations_before_failure < 0) return false;
  return g_allocations_before_failure-- == 0;
}

}  // namespace

void* rx_malloc(size_t size) noexcept { return fails_now() ? nullptr : std::malloc(size); }

void* rx_calloc(size_t count, size_t size) noexcept {
  return fails_now() ? nullptr : std::calloc(count, size);
}

void* rx_realloc(void* block, size_t size) noexcept {
  return fails_now() ? nullptr : std::realloc(block, size);
}

void fail_allocation_after(long n) noexcept { g_allocations_before_failure = n; }

bool allocation_failure_pending() noexcept { return g_allocations_before_failure >= 0; }

}  // namespace regex_internal
