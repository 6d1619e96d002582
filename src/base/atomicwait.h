#pragma once

// std::atomic's wait and notify, made safe where the standard library's are not. GCC 12's library, on
// systems it has no futex-like call for (Windows), checks the value outside the lock its waiters sleep
// under, so a notify that falls between the check and the sleep is lost and the waiter sleeps for ever.
// There both go through a lock of our own; elsewhere they are the library's.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace marovex {

#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAVE_PLATFORM_WAIT)

namespace detail {
struct WaitSlot {
    std::mutex mutex;
    std::condition_variable changed;
};
inline WaitSlot& waitSlotFor(const void* address) {
    static WaitSlot slots[16];
    return slots[(reinterpret_cast<std::uintptr_t>(address) >> 4) % 16];
}
} // namespace detail

// Returns once `value` no longer holds `old` (and now and then without cause, as std::atomic::wait).
template <typename T>
void waitWhileEqual(const std::atomic<T>& value, T old, std::memory_order order = std::memory_order_seq_cst) {
    detail::WaitSlot& slot = detail::waitSlotFor(&value);
    std::unique_lock lock(slot.mutex);
    slot.changed.wait(lock, [&] { return value.load(order) != old; });
}

// Wakes every waiter of `value`; call it after the store. Taking the lock first means that a waiter that
// saw the old value is asleep by now, and so hears it.
template <typename T>
void notifyWaiters(std::atomic<T>& value) {
    detail::WaitSlot& slot = detail::waitSlotFor(&value);
    { const std::lock_guard lock(slot.mutex); }
    slot.changed.notify_all();
}

#else

template <typename T>
void waitWhileEqual(const std::atomic<T>& value, T old, std::memory_order order = std::memory_order_seq_cst) {
    value.wait(old, order);
}

template <typename T>
void notifyWaiters(std::atomic<T>& value) {
    value.notify_all();
}

#endif

} // namespace marovex
