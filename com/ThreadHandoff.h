#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace Vantrel::Com {

// Tells ThreadSanitizer about the ordering that a queued call between the GUI
// thread and the link's worker thread gives. Qt posts the call under its own
// lock, which lives in an uninstrumented library and is invisible to the
// sanitizer; without this every hand-over would read as a race. The sender
// releases just before emitting, the receiving slot acquires first thing. Does
// nothing in other builds.
class ThreadHandoff
{
public:
    static void release()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(&token);
#endif
    }
    static void acquire()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(&token);
#endif
    }

private:
    static inline char token = 0;
};

} // namespace Vantrel::Com
