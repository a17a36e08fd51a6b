#include <atomic>

#include "platform/unknown.hpp"

namespace platform {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void module_object_created() noexcept { g_objects.fetch_add(1, std::memory_order_relaxed); }
void module_object_destroyed() noexcept { g_objects.fetch_sub(1, std::memory_order_acq_rel); }
void module_lock() noexcept { g_locks.fetch_add(1, std::memory_order_relaxed); }
void module_unlock() noexcept { g_locks.fetch_sub(1, std::memory_order_acq_rel); }
long module_object_count() noexcept { return g_objects.load(std::memory_order_acquire); }
long module_lock_count() noexcept { return g_locks.load(std::memory_order_acquire); }

HRESULT module_can_unload_now() noexcept {
    return module_object_count() == 0 && module_lock_count() == 0 ? S_OK : S_FALSE;
}

}  // namespace platform
