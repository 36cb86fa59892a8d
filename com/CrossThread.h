#pragma once

#include <QObject>
#include <utility>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace Vantrel::Com {

// Qt posts a queued call under its own lock, which lives in an uninstrumented
// library and is invisible to ThreadSanitizer; without telling it, every hand-over
// between threads would read as a race. Does nothing in other builds.
namespace CrossThreadDetail {
inline char token = 0;
inline void release()
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(&token);
#endif
}
inline void acquire()
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(&token);
#endif
}
} // namespace CrossThreadDetail

// Connects a signal to a member (slot or signal) of an object that lives in
// another thread: a queued call, released in the sender's thread as the signal is
// emitted and acquired in the receiver's thread before the member runs. Every
// crossing between threads goes through here, so none lacks half of its hand-over.
// The member takes its arguments as declared; sender() works in it as in a slot.
template <typename Sender, typename Signal, typename Receiver, typename Target, typename... Args>
void crossThread(const Sender* sender, Signal signal, Receiver* receiver,
                 void (Target::*member)(Args...))
{
    // Connected first, so that the release comes before the posting.
    QObject::connect(sender, signal, receiver, [] { CrossThreadDetail::release(); }, Qt::DirectConnection);
    QObject::connect(
        sender, signal, receiver,
        [receiver, member](Args... args) {
            CrossThreadDetail::acquire();
            (receiver->*member)(std::forward<Args>(args)...);
        },
        Qt::QueuedConnection);
}

// An object of another thread deleted there, after the reads of it made here
// (disconnecting reads its meta-object): handed over before its deferred delete,
// taken over first thing in its destructor.
inline void deleteLaterAcross(QObject* object)
{
    CrossThreadDetail::release();
    object->deleteLater();
}
inline void takeOverForDelete()
{
    CrossThreadDetail::acquire();
}

} // namespace Vantrel::Com
