#pragma once
// Put first in a QThread's run(). Qt 5 waits for a thread on a futex that
// ThreadSanitizer cannot see, so everything run() did would look unordered
// with what follows QThread::wait(). In ThreadSanitizer builds the mark
// releases when run() returns and QThread::wait() acquires after it; in every
// other build it is nothing. Those builds also tell the checker of the
// queued calls that signals and QMetaObject::invokeMethod post from one
// thread to another.

class QThread;

class ThreadEndMark
{
public:
    explicit ThreadEndMark(const QThread *thread) : m_thread(thread) {}
    ~ThreadEndMark();
    ThreadEndMark(const ThreadEndMark &) = delete;
    ThreadEndMark &operator=(const ThreadEndMark &) = delete;

private:
    const QThread *m_thread;
};
