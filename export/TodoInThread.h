#pragma once
// A thread that runs one callable returning bool and, when a receiver and a
// method name are given, hands the result to that method through the
// receiver's event loop.

#include "util/ThreadEndMark.h"

#include <QThread>

#include <utility>

// The part that is no template: the signal that carries the result. A signal
// rather than a queued method call, so that the hand-over has a sender, as
// every queued call the thread checker follows must.
class TodoThread : public QThread
{
    Q_OBJECT

public:
    // Connects done() to the receiver's method taking a bool, queued.
    TodoThread(QObject *receiver, const char *method, QObject *parent);

signals:
    void done(bool r);
};

template<typename Work>
class TodoInThread : public TodoThread
{
public:
    TodoInThread(Work work, QObject *receiver, const char *method, QObject *parent = nullptr)
        : TodoThread(receiver, method, parent)
        , work(std::move(work))
    {
    }

protected:
    void run() override
    {
        const ThreadEndMark endMark(this);
        emit done(work());
    }

private:
    Work work;
};

template<typename Work>
TodoInThread<Work> *makeTodoInThread(Work work, QObject *receiver, const char *method, QObject *parent)
{
    return new TodoInThread<Work>(std::move(work), receiver, method, parent);
}
