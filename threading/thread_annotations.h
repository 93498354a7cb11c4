#pragma once

// Clang's thread-safety attributes, checked by the clang build with
// -Wthread-safety (scripts/sanitizers); other compilers ignore them.
#if defined(__clang__)
#define EARSHOT_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define EARSHOT_THREAD_ATTRIBUTE(x)
#endif

// A type that is a lock.
#define CAPABILITY(x) EARSHOT_THREAD_ATTRIBUTE(capability(x))
// A type whose objects hold a lock for their lifetime.
#define SCOPED_CAPABILITY EARSHOT_THREAD_ATTRIBUTE(scoped_lockable)
// A member read and written only under the lock.
#define GUARDED_BY(x) EARSHOT_THREAD_ATTRIBUTE(guarded_by(x))
// A pointer member whose target is read and written only under the lock.
#define PT_GUARDED_BY(x) EARSHOT_THREAD_ATTRIBUTE(pt_guarded_by(x))
// A function called with the lock held.
#define REQUIRES(...) EARSHOT_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// A function that must not be called with the lock held (it takes it).
#define EXCLUDES(...) EARSHOT_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
// Functions that take and give back a lock.
#define ACQUIRE(...) EARSHOT_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) EARSHOT_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) EARSHOT_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
// A function that returns a reference to the lock.
#define RETURN_CAPABILITY(x) EARSHOT_THREAD_ATTRIBUTE(lock_returned(x))
// Opts one function out of the analysis; say why where it is used.
#define NO_THREAD_SAFETY_ANALYSIS EARSHOT_THREAD_ATTRIBUTE(no_thread_safety_analysis)
