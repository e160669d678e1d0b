#pragma once
// The flag a stop signal sets. A signal handler writes it and any thread reads it: a lock-free
// atomic is safe in the handler and free of data races between threads, which a volatile
// sig_atomic_t is only within one thread.

#include <atomic>

using StopFlag = std::atomic<int>;
static_assert(StopFlag::is_always_lock_free);
