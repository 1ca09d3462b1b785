// Linked into the tool in ThreadSanitizer builds only (the tsan preset).
//
// Qt starts the tool's child processes (the DICOM decoder) with clone(CLONE_VM | CLONE_VFORK):
// until it execs, the child runs in the parent's memory. The sanitizer's clone interceptor
// resets its bookkeeping in the child as after a fork, and in shared memory that resets the
// parent's own: its later reports about the parent's threads are bogus (races inside the
// task scheduler, frames of unrelated libraries). Here the child gets a copy of the memory
// instead (CLONE_VFORK still holds the parent until the exec), which the sanitizer follows.
#include <dlfcn.h>
#include <sched.h>

#include <cstdarg>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) noexcept
{
    va_list rest;
    va_start(rest, arg);
    void* parentTid = va_arg(rest, void*);
    void* tls = va_arg(rest, void*);
    void* childTid = va_arg(rest, void*);
    va_end(rest);
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VFORK) && !(flags & CLONE_THREAD))
        flags &= ~CLONE_VM;
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
