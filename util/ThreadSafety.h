// Attributes that state which mutex guards a member and which locks a function
// expects, so that Clang's -Wthread-safety checks every access at compile
// time (the QUILLBOX_THREAD_SAFETY build turns its findings into errors).
// Other compilers see nothing: every macro expands to nothing there.
//
// Use them with qb::Mutex and qb::MutexLock (util/Mutex.h, util/MutexLock.h);
// std::mutex carries no attributes in libstdc++, so the analysis cannot see
// it taken.
//
// Thread contract: compile-time only; no code is generated.
#pragma once

#if defined(__clang__)
#define QB_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QB_THREAD_ANNOTATION(x)
#endif

// A type that is a lock (a mutex, named "mutex" in the warnings).
#define CAPABILITY(x) QB_THREAD_ANNOTATION(capability(x))
// An RAII type that holds a capability for its own lifetime.
#define SCOPED_CAPABILITY QB_THREAD_ANNOTATION(scoped_lockable)

// A member or global read or written only with `x` held.
#define GUARDED_BY(x) QB_THREAD_ANNOTATION(guarded_by(x))
// A pointer member whose pointee is read or written only with `x` held.
#define PT_GUARDED_BY(x) QB_THREAD_ANNOTATION(pt_guarded_by(x))
// Lock order: this mutex is taken before (after) the ones named.
#define ACQUIRED_BEFORE(...) QB_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) QB_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// The caller must hold the capabilities named.
#define REQUIRES(...) QB_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The caller must not hold them (the function takes them itself).
#define EXCLUDES(...) QB_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function takes (releases) the capabilities named, or its own object's.
#define ACQUIRE(...) QB_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QB_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The function takes them when it returns `result`.
#define TRY_ACQUIRE(...) QB_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// The function checks at run time that the capability is held.
#define ASSERT_CAPABILITY(x) QB_THREAD_ANNOTATION(assert_capability(x))
// The function returns a reference to the capability named.
#define RETURN_CAPABILITY(x) QB_THREAD_ANNOTATION(lock_returned(x))

// Turns the analysis off for one function whose locking it cannot follow
// (say why next to it).
#define NO_THREAD_SAFETY_ANALYSIS QB_THREAD_ANNOTATION(no_thread_safety_analysis)
