// A slim reader/writer lock and its scoped guard, annotated for clang's thread-safety
// analysis (-Wthread-safety, on in the clang build of the plug-in's code).
//
// 1. A field marked GUARDED_BY(lock) is read and written only with that lock held; the
//    analysis rejects any other access at compile time.
// 2. A function marked REQUIRES(lock) is called only with the lock held.
// 3. The rule no tool can check stays a rule: the lock is never held across a call into
//    the host or a window function.
#ifndef VARNEL_LOCK_H
#define VARNEL_LOCK_H

#include <windows.h>

#if defined(__clang__)
#define VARNEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VARNEL_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) VARNEL_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY VARNEL_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) VARNEL_THREAD_ANNOTATION(guarded_by(lock))
#define REQUIRES(...) VARNEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) VARNEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) VARNEL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define RELEASE(...) VARNEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

class CAPABILITY("mutex") SrwLock {
public:
    SrwLock() { InitializeSRWLock(&lock_); }
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;
    void Lock() ACQUIRE() { AcquireSRWLockExclusive(&lock_); }
    bool TryLock() TRY_ACQUIRE(true) { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void Unlock() RELEASE() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_;
};

class SCOPED_CAPABILITY ScopedLock {
public:
    explicit ScopedLock(SrwLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.Lock(); }
    ~ScopedLock() RELEASE() { lock_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    SrwLock& lock_;
};

#endif
