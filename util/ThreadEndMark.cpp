#include "util/ThreadEndMark.h"

#if defined(__SANITIZE_THREAD__)

#include <QDeadlineTimer>
#include <QThread>

#include <climits>
#include <dlfcn.h>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

ThreadEndMark::~ThreadEndMark()
{
    __tsan_release(const_cast<QThread *>(m_thread));
}

// Our calls to QThread::wait bind to these definitions in sanitizer builds;
// they wait through Qt's own and then take the thread's end mark.
bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const Wait qtWait = reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool finished = qtWait(this, deadline);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

bool QThread::wait(unsigned long time)
{
    return wait(time == ULONG_MAX ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(qint64(time)));
}

#else

ThreadEndMark::~ThreadEndMark() = default;

#endif
