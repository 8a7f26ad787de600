// A slim reader/writer lock and its scoped guard.
#ifndef VARNEL_LOCK_H
#define VARNEL_LOCK_H

#include <windows.h>

class SrwLock {
public:
    SrwLock() { InitializeSRWLock(&lock_); }
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;
    void Lock() { AcquireSRWLockExclusive(&lock_); }
    bool TryLock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void Unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_;
};

class ScopedLock {
public:
    explicit ScopedLock(SrwLock& lock) : lock_(lock) { lock_.Lock(); }
    ~ScopedLock() { lock_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    SrwLock& lock_;
};

#endif
