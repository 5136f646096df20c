// The stub runs one thread only (the system's own threads never run its code), so the run-time
// library's per-thread state, static-object guards and locks need no thread layer. The library's
// versions of these come with the POSIX thread layer and thread-local storage emulation, about
// 30 KiB of the stub; these replace them in the stub only (the tests and tools keep the library's).
#include <cxxabi.h>

namespace __cxxabiv1 {

// The exception-handling state of the one thread: the caught-exception stack and the count of
// exceptions in flight. The library reaches it through these two calls only; the room is ample
// for the library's own layout.
struct __cxa_eh_globals {
  void* storage[4];
};

namespace {
__cxa_eh_globals thread_state{};
}  // namespace

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept { return &thread_state; }
extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept { return &thread_state; }

// Function-local statics: the guard's first byte is set once the object is built (the compiler's
// inline check reads that byte). Nothing else can be building it at the same time; after an
// exception during construction the byte stays clear and the next pass tries again.
extern "C" int __cxa_guard_acquire(__guard* guard) { return *reinterpret_cast<char*>(guard) == 0 ? 1 : 0; }
extern "C" void __cxa_guard_release(__guard* guard) noexcept { *reinterpret_cast<char*>(guard) = 1; }
extern "C" void __cxa_guard_abort(__guard*) noexcept {}

}  // namespace __cxxabiv1

// The part of the thread layer that the unwinder and the exception allocator call: their locks
// are never contended, and a once-routine runs on its first call. Declared without <pthread.h>
// (whose types these match: a once flag is a long, a mutex a pointer-sized value), so that no
// declaration of the layer's own ever meets them.
extern "C" {
int pthread_once(long* once, void (*routine)()) {
  if (*once == 0) {
    *once = 1;
    routine();
  }
  return 0;
}
int pthread_mutex_init(void*, const void*) { return 0; }
int pthread_mutex_destroy(void*) { return 0; }
int pthread_mutex_lock(void*) { return 0; }
int pthread_mutex_unlock(void*) { return 0; }
}
