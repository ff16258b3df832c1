// Lock annotations for Clang's -Wthread-safety analysis. They expand to
// nothing under other compilers.
#pragma once

#if defined(__clang__)
#define TOLB_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOLB_THREAD_ANNOTATION(x)
#endif

#define TOLB_CAPABILITY(name) TOLB_THREAD_ANNOTATION(capability(name))
#define TOLB_GUARDED_BY(lock) TOLB_THREAD_ANNOTATION(guarded_by(lock))
#define TOLB_ACQUIRE(...) \
  TOLB_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TOLB_ACQUIRE_SHARED(...) \
  TOLB_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define TOLB_RELEASE(...) \
  TOLB_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TOLB_RELEASE_SHARED(...) \
  TOLB_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define TOLB_TRY_ACQUIRE(...) \
  TOLB_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TOLB_EXCLUDES(...) TOLB_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
