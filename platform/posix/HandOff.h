// HandOff: tells ThreadSanitizer of an order between threads that a library
// keeps through synchronisation the sanitizer cannot see. gRPC hands a
// reactor's callbacks to its threads through completion queues locked with
// absl::Mutex, and Qt hands jobs and queued calls on through QMutex; both
// wait on futexes in libraries not built with the sanitizer, so without
// this, work done before a hand-off and read after it looks like a race.
//
//   handOff(token)   just before giving work to the library (StartRead,
//                    QThreadPool::start, a queued call);
//   takeOver(token)  first thing where the library runs it (OnReadDone, the
//                    job, the queued call).
//
// The token is any address both sides agree on. Only the order the library
// promises may be stated so: a hand-off that a library does not promise
// would hide a real race. Nothing is done in other builds.
#pragma once

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KT64_HAND_OFF_ANNOTATED 1
#include <sanitizer/tsan_interface.h>
#endif
#endif

namespace kt64 {

inline void handOff([[maybe_unused]] const void* token) {
#ifdef KT64_HAND_OFF_ANNOTATED
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void takeOver([[maybe_unused]] const void* token) {
#ifdef KT64_HAND_OFF_ANNOTATED
    __tsan_acquire(const_cast<void*>(token));
#endif
}

}  // namespace kt64
